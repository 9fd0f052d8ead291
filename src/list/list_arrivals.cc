// GiveListName: the list's name for a working copy, with whatever arrived meanwhile.
#include "list/list_arrivals.h"

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "config/program_paths.h"
#include "fields/piece_reader.h"
#include "list/append_list_url.h"
#include "platform/files.h"

namespace zenpo {
namespace {

// How often a newcomer is taken in before the rename counts as failed: each round needs
// a new file to appear in the moment between taking the last one in and the rename.
constexpr int kMaxArrivals = 8;
// How often the aside copy is read again for bytes that a writer which opened it before
// it was renamed aside may still have added.
constexpr int kMaxLateReads = 3;

constexpr wchar_t kAsideName[] = L"!!!ZENPO.txt";

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::wstring AsidePath() {
  const std::wstring& list = ProgramPaths.ListPath;
  return list.substr(0, list.rfind(platform::kPathSeparator) + 1) + kAsideName;
}

// Reads what follows offset in f; false on a read error.
bool ReadFrom(std::FILE* f, long offset, std::string* bytes) {
  bytes->clear();
  if (std::fseek(f, offset, SEEK_SET) != 0) return false;
  char block[65536];
  std::size_t n;
  while ((n = std::fread(block, 1, sizeof block, f)) > 0) bytes->append(block, n);
  return std::ferror(f) == 0;
}

// Appends the file at aside to the file at held, which is on the disk with it when this
// returns true. On false held is back at its old size.
bool AppendAside(const std::wstring& aside, const std::wstring& held) {
  File in(platform::OpenFile(aside, "rb"));
  File out(platform::OpenFile(held, "a+b"));
  if (!in || !out) return false;
  std::setvbuf(out.get(), nullptr, _IONBF, 0);
  ListEnd end;
  if (!ReadListEnd(out.get(), &end) || std::fseek(out.get(), 0, SEEK_END) != 0) return false;
  platform::FileService& files = platform::Files();
  bool ok = true;
  bool first = true;
  long taken = 0;
  std::string bytes;
  for (int read = 0; ok && read < kMaxLateReads; ++read) {
    ok = ReadFrom(in.get(), taken, &bytes);
    if (!ok || bytes.empty()) break;
    taken += static_cast<long>(bytes.size());
    std::string_view part = bytes;
    if (first) {
      first = false;
      if (part.starts_with(kByteOrderMark)) part.remove_prefix(kByteOrderMark.size());
      // The held list's last line keeps its own line, as an append gives it.
      if (end.open_line && !part.empty()) ok = files.Write(out.get(), end.line_end);
    }
    ok = ok && files.Write(out.get(), part);
  }
  ok = ok && files.Flush(out.get());
  ok = std::fclose(out.release()) == 0 && ok;
  if (!ok) platform::ResizeFile(held, end.size);
  return ok;
}

// Takes a list file that appeared under the list's name into held. False, with the
// newcomer back under the list's name, when there is none or it cannot be taken in.
bool TakeArrivals(const std::wstring& held) {
  platform::FileService& files = platform::Files();
  const std::wstring aside = AsidePath();
  if (!files.Rename(ProgramPaths.ListPath, aside)) return false;
  if (!AppendAside(aside, held)) {
    files.Rename(aside, ProgramPaths.ListPath);
    return false;
  }
  // Should the delete fail, the aside copy's lines are in held and stay visible to the
  // user under the aside name; nothing is taken in twice, since only a new list file is.
  files.Remove(aside);
  return true;
}

}  // namespace

bool GiveListName(const std::wstring& held) {
  platform::FileService& files = platform::Files();
  for (int round = 0;; ++round) {
    if (files.Rename(held, ProgramPaths.ListPath)) return true;
    if (round == kMaxArrivals || !TakeArrivals(held)) return false;
  }
}

}  // namespace zenpo
