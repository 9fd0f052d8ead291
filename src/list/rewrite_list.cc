// The rewrite pass with its failure paths.
#include "list/rewrite_list.h"

#include <cstdio>
#include <memory>

#include "config/program_paths.h"
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

// Writes the line as the edit says; false on a write error.
bool WriteLine(std::FILE* out, const ListLine& line, const LineEdit& edit) {
  std::string_view bytes = line.bytes();
  switch (edit.kind) {
    case LineEdit::Kind::kDrop:
      return true;
    case LineEdit::Kind::kMark: {
      const std::string column = FormatStatusColumn(edit.status);
      if (std::fwrite(column.data(), 1, column.size(), out) != column.size()) return false;
      bytes.remove_prefix(edit.dropped_bytes < bytes.size() ? edit.dropped_bytes : bytes.size());
      break;
    }
    case LineEdit::Kind::kKeep:
      break;
  }
  return std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
}

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

ResultCode RewriteList(const LineRule& rule, const RewriteCodes& codes) {
  const ProgramPathsRecord& paths = ProgramPaths;
  if (!TakeListLock()) {
    return ReportListResult(list_message::kInUse, level::kDetail, level::kNotShown, codes.in_use);
  }
  auto fail = [&](std::wstring_view text, ResultCode code) {
    return ReturnListAndReport(text, code, list_message::kReleaseFailed);
  };

  // Creating the new list empty first truncates a leftover of an earlier failed pass.
  {
    std::FILE* created = std::fopen(paths.listNewPathMb.c_str(), "wb");
    if (created == nullptr || std::fclose(created) != 0) {
      return fail(list_message::kSetupFailed, codes.setup);
    }
  }
  File in(std::fopen(paths.listLockPathMb.c_str(), "rb"));
  if (!in) return fail(codes.open_message, codes.open);
  File out(std::fopen(paths.listNewPathMb.c_str(), "ab"));
  if (!out) {
    in.reset();
    return fail(list_message::kWriteFailed, codes.write);
  }
  std::setvbuf(out.get(), nullptr, _IOFBF, kWriteBufferBytes);

  ListLineReader reader(in.get());
  ListLine line;
  bool written = true;
  while (written && reader.Next(&line)) written = WriteLine(out.get(), line, rule(line));
  // A new list cut short by a failed read or write must never replace the old one.
  written = std::fclose(out.release()) == 0 && written;
  const bool read = !reader.failed();
  in.reset();
  if (!read) return fail(codes.open_message, codes.open);
  if (!written) return fail(list_message::kWriteFailed, codes.write);

  if (!platform::RenameNoReplace(paths.ListNewPath, paths.ListPath)) {
    return ReportListResult(list_message::kReleaseFailed, level::kFailure, level::kShown,
                            codes.release);
  }
  if (!platform::RemoveFile(paths.ListLockPath)) {
    return ReportListResult(list_message::kDeleteFailed, level::kFailure, level::kShown,
                            codes.remove);
  }
  return codes.done;
}

}  // namespace zenpo
