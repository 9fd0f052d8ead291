// The rewrite pass with its failure paths.
#include "list/rewrite_list.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "config/program_paths.h"
#include "list/list_arrivals.h"
#include "list/list_reports.h"
#include "list/rename_lock.h"
#include "platform/files.h"
#include "report/report_message.h"

namespace zenpo {
namespace {

constexpr std::size_t kWriteBufferBytes = 256 * 1024;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Collects the new list's bytes and hands them to the stream in large blocks: one
// stream call per line would cost more than the rest of the pass. Remembers a failed
// write.
class ListWriter {
 public:
  explicit ListWriter(std::FILE* out) : out_(out) { buffer_.reserve(kWriteBufferBytes); }

  void Write(std::string_view bytes) {
    if (buffer_.size() + bytes.size() > kWriteBufferBytes) Flush();
    buffer_.append(bytes);
  }

  void Write(const ListLine& line, const LineEdit& edit) {
    std::string_view bytes = line.bytes();
    switch (edit.kind) {
      case LineEdit::Kind::kDrop:
        return;
      case LineEdit::Kind::kMark:
        Write(FormatStatusColumn(edit.status));
        bytes.remove_prefix(std::min(edit.dropped_bytes, bytes.size()));
        break;
      case LineEdit::Kind::kKeep:
        break;
    }
    Write(bytes);
  }

  // Writes what is left; false when any write failed.
  bool Finish() {
    Flush();
    return ok_;
  }

 private:
  void Flush() {
    if (ok_ && !buffer_.empty()) {
      ok_ = platform::Files().Write(out_, buffer_);
    }
    buffer_.clear();
  }

  std::FILE* out_;
  std::string buffer_;
  bool ok_ = true;
};

}  // namespace

const RewriteCodes kSelectionCodes = {
    rc::kSelectInUse,         rc::kSelectSetupFailed,  rc::kSelectOpenFailed,
    rc::kSelectWriteFailed,   rc::kSelectReleaseFailed, rc::kSelectDeleteFailed,
    rc::kSelectDone,          list_message::kOpenFailed,
};

const RewriteCodes kWriteBackCodes = {
    rc::kWriteInUse,        rc::kWriteSetupFailed,  rc::kWriteOpenFailed,
    rc::kWriteWriteFailed,  rc::kWriteReleaseFailed, rc::kWriteDeleteFailed,
    rc::kWriteDone,         list_message::kWriteOpenFailed,
};

ResultCode RewriteList(const LineRule& rule, const RewriteCodes& codes, bool* complete) {
  const ProgramPathsRecord& paths = ProgramPaths;
  if (complete != nullptr) *complete = false;
  if (!TakeListLock()) {
    return ReportListResult(list_message::kInUse, level::kDetail, level::kNotShown, codes.in_use);
  }
  auto fail = [&](std::wstring_view text, ResultCode code) {
    return ReturnListAndReport(text, code, list_message::kReleaseFailed);
  };

  // Creating the new list empty first truncates a leftover of an earlier failed pass.
  {
    std::FILE* created = platform::OpenFile(paths.ListNewPath, "wb");
    if (created == nullptr || std::fclose(created) != 0) {
      return fail(list_message::kSetupFailed, codes.setup);
    }
  }
  File in(platform::OpenFile(paths.ListLockPath, "rb"));
  if (!in) return fail(codes.open_message, codes.open);
  File out(platform::OpenFile(paths.ListNewPath, "ab"));
  if (!out) {
    in.reset();
    return fail(list_message::kWriteFailed, codes.write);
  }

  // The new list is the old one's in everything but content: its permission bits keep
  // the credentials in it as private as they were.
  if (!platform::CopyPermissions(in.get(), out.get())) {
    in.reset();
    out.reset();
    return fail(list_message::kWriteFailed, codes.write);
  }

  PieceReader reader(in.get(), kListPieceBytes);
  ListWriter writer(out.get());
  writer.Write(reader.TakeByteOrderMark());
  Piece piece;
  ListLine line;
  while (reader.Next(&piece)) {
    line.Reset(piece);
    writer.Write(line, rule(line));
  }
  // A new list cut short by a failed read or write must never replace the old one, and
  // it is on the disk before it does: a power cut must find one whole list.
  bool written = writer.Finish() && platform::Files().Flush(out.get());
  written = std::fclose(out.release()) == 0 && written;
  const bool read = !reader.failed();
  in.reset();
  if (!read) return fail(codes.open_message, codes.open);
  if (!written) return fail(list_message::kWriteFailed, codes.write);
  if (complete != nullptr) *complete = true;

  platform::FileService& files = platform::Files();
  auto release_failed = [&] {
    return ReportListResult(list_message::kReleaseFailed, level::kFailure, level::kShown,
                            codes.release);
  };
  // A list that is a link stays one: its target takes the new content, and the link
  // gets its name back.
  const std::wstring target = platform::LinkTarget(paths.ListLockPath);
  if (!target.empty()) {
    if (!files.ReplaceContent(paths.ListNewPath, target) ||
        !GiveListName(paths.ListLockPath)) {
      return release_failed();
    }
    files.FlushFolder(paths.ProgramDir);
    return codes.done;
  }
  if (!GiveListName(paths.ListNewPath)) return release_failed();
  // The old copy goes only once the rename is on the disk too.
  if (!files.FlushFolder(paths.ProgramDir) || !files.Remove(paths.ListLockPath)) {
    return ReportListResult(list_message::kDeleteFailed, level::kFailure, level::kShown,
                            codes.remove);
  }
  return codes.done;
}

}  // namespace zenpo
