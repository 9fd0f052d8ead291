// AppendListUrl: extending the locked list in place.
#include "list/append_list_url.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "config/program_paths.h"
#include "fields/piece_reader.h"
#include "list/list_reports.h"
#include "list/rename_lock.h"
#include "platform/files.h"
#include "platform/text.h"
#include "report/report_message.h"

namespace zenpo {

bool ReadListEnd(std::FILE* f, ListEnd* end) {
  if (std::fseek(f, 0, SEEK_END) != 0 || (end->size = std::ftell(f)) < 0) return false;
  // Backwards in blocks to the last line feed, however long the last line is.
  char block[4096];
  bool last_byte = true;
  for (long pos = end->size; pos > 0;) {
    const long n = pos < static_cast<long>(sizeof(block)) ? pos : static_cast<long>(sizeof(block));
    pos -= n;
    if (std::fseek(f, pos, SEEK_SET) != 0 ||
        std::fread(block, 1, static_cast<std::size_t>(n), f) != static_cast<std::size_t>(n)) {
      return false;
    }
    const std::string_view bytes(block, static_cast<std::size_t>(n));
    if (last_byte) {
      last_byte = false;
      // A list of nothing but a byte-order mark is empty.
      end->open_line = bytes.back() != '\n' &&
                       !(end->size == 3 && bytes == kByteOrderMark);
    }
    const std::size_t lf = bytes.rfind('\n');
    if (lf == std::string_view::npos) continue;
    char before = '\0';
    if (lf > 0) {
      before = bytes[lf - 1];
    } else if (pos > 0 && (std::fseek(f, pos - 1, SEEK_SET) != 0 ||
                           std::fread(&before, 1, 1, f) != 1)) {
      return false;
    }
    if (before == '\r') end->line_end = "\r\n";
    break;
  }
  return true;
}

namespace {

// Appends url as a line of its own to the open list in one write, flushed to the disk;
// false when the open, the write, the flush or the close failed.
bool AppendLine(const std::wstring& path, std::wstring_view url) {
  std::FILE* f = platform::OpenFile(path, "a+b");
  if (f == nullptr) return false;
  // Unbuffered from the start (the stream may only be set up before its first use), so
  // the line goes out as one write.
  std::setvbuf(f, nullptr, _IONBF, 0);
  ListEnd end;
  if (!ReadListEnd(f, &end)) {
    std::fclose(f);
    return false;
  }
  std::string line;
  if (end.open_line) line += end.line_end;
  line += platform::ToCodePage(url);
  line += end.line_end;
  platform::FileService& files = platform::Files();
  // The seek switches the stream from reading to writing.
  const bool written = std::fseek(f, 0, SEEK_END) == 0 && files.Write(f, line) && files.Flush(f);
  const bool closed = std::fclose(f) == 0;
  if (written && closed) return true;
  // A cut-off URL would download something else: the list goes back to its old size.
  platform::ResizeFile(path, end.size);
  return false;
}

}  // namespace

ResultCode AppendListUrl(std::wstring_view url) {
  if (!TakeListLock()) {
    return ReportListResult(list_message::kInUse, level::kDetail, level::kNotShown,
                            rc::kWriteInUse);
  }
  if (!AppendLine(ProgramPaths.ListLockPath, url)) {
    return ReturnListAndReport(list_message::kAppendOpenFailed, rc::kWriteOpenFailed,
                               list_message::kAppendReleaseFailed);
  }
  if (!ReturnListLock()) {
    return ReportListResult(list_message::kAppendReleaseFailed, level::kFailure, level::kShown,
                            rc::kWriteReleaseFailed);
  }
  return rc::kWriteDone;
}

}  // namespace zenpo
