// The list's lines and the rewrite pass on any list file: a pass that changes no status
// writes the same bytes, and a selection changes nothing but the status column of the
// one line it chose, at the start of that line.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/program_paths.h"
#include "fuzz/fuzz_home.h"
#include "list/list_entry.h"
#include "list/list_line.h"
#include "list/rewrite_list.h"
#include "list/select_next_entry.h"
#include "platform/text.h"

namespace zenpo {
namespace {

using fuzz::Check;

// The list path as the streams take it (the list itself has no narrow twin).
std::string ListFileMb() {
  std::string lock = ProgramPaths.listLockPathMb;
  return lock.erase(lock.rfind('!'), 1);
}

LineEdit JudgeAndKeep(const ListLine& line) {
  const ListEntry e = ParseListEntry(line.parse());
  if (e.form != EntryForm::kNone) {
    Check(IsDownloadUrl(e.url), "an entry's URL passes the URL test");
    const std::size_t column = line.StatusColumnBytes(e.fields, e.status);
    Check(column <= line.bytes().size(), "the status column lies within the line");
    Check(column == 0 || line.bytes()[column - 1] == '|', "the status column ends at a bar");
  }
  return LineEdit::Keep();
}

bool IsLineStart(std::string_view list, std::size_t p) {
  return p == 0 || list[p - 1] == '\n' || (p == 3 && list.starts_with("\xEF\xBB\xBF"));
}

// Whether after is before with "899|" put at a line start p in place of drop bytes.
bool OnlyOneLineMarked(std::string_view before, std::string_view after) {
  if (after.size() + before.size() < 4 || after.size() > before.size() + 4) return false;
  const std::size_t drop = before.size() + 4 - after.size();
  const std::size_t prefix = static_cast<std::size_t>(
      std::mismatch(before.begin(), before.end(), after.begin(), after.end()).first - before.begin());
  const std::size_t suffix = static_cast<std::size_t>(
      std::mismatch(before.rbegin(), before.rend(), after.rbegin(), after.rend()).first -
      before.rbegin());
  const std::size_t tail = before.size() - drop;  // bytes of before after the status
  const std::size_t lowest = tail > suffix ? tail - suffix : 0;
  for (std::size_t p = lowest; p <= prefix && p + drop <= before.size(); ++p) {
    if (IsLineStart(before, p) && after.substr(p, 4) == "899|" &&
        after.substr(p + 4) == before.substr(p + drop)) {
      return true;
    }
  }
  return false;
}

// Whether url stands in the list as a whole field: followed by a bar, a line end, a zero
// byte (where the parse copy of a line ends) or the end of the file. A URL whose bytes
// are no text is not looked for.
bool StandsWhole(std::string_view list, const std::wstring& url) {
  if (url.find(L'\uFFFD') != std::wstring::npos) return true;
  const std::string bytes = platform::ToCodePage(url);
  for (std::size_t at = list.find(bytes); at != std::string_view::npos;
       at = list.find(bytes, at + 1)) {
    const std::size_t end = at + bytes.size();
    if (end == list.size() || std::string_view("|\r\n", 4).find(list[end]) != std::string_view::npos) {
      return true;
    }
  }
  return false;
}

}  // namespace
}  // namespace zenpo

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zenpo;
  fuzz::QuietDefaults();
  const std::string list(reinterpret_cast<const char*>(data), size);
  const std::string path = ListFileMb();

  fuzz::WriteWhole(path, data, size);
  Check(RewriteList(JudgeAndKeep, kWriteBackCodes) == rc::kWriteDone, "the pass completes");
  Check(fuzz::ReadWhole(path) == list, "a pass that changes no status writes the same bytes");

  SelectedEntry entry;
  Check(SelectNextEntry(&entry) == rc::kSelectDone, "the selection completes");
  const std::string after = fuzz::ReadWhole(path);
  if (entry.url.empty()) {
    Check(after == list, "a selection that chooses nothing writes the same bytes");
  } else {
    Check(IsDownloadUrl(entry.url) && entry.url.size() <= entry_capacity::kUrl,
          "the chosen URL passes the URL test and fits");
    Check(OnlyOneLineMarked(list, after), "a selection marks one line at its start only");
    Check(StandsWhole(list, entry.url), "the chosen URL stands whole in the list");
  }
  return 0;
}
