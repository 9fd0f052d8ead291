// AppendListUrl: extending the locked list in place.
#include "list/append_list_url.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "config/program_paths.h"
#include "list/list_reports.h"
#include "list/rename_lock.h"
#include "platform/text.h"
#include "report/report_message.h"

namespace zenpo {
namespace {

// The last two bytes of the open file ("" for an empty one) and its size.
std::string Tail(std::FILE* f, long* size) {
  *size = -1;
  if (std::fseek(f, 0, SEEK_END) != 0) return {};
  *size = std::ftell(f);
  char tail[2];
  const long n = *size < 2 ? *size : 2;
  if (n <= 0 || std::fseek(f, -n, SEEK_END) != 0) return {};
  return std::string(tail, std::fread(tail, 1, static_cast<std::size_t>(n), f));
}

// Appends line to the open list in one write; false when the open, the write or the
// close failed.
bool AppendLine(const std::string& path, std::wstring_view url) {
  std::FILE* f = std::fopen(path.c_str(), "a+b");
  if (f == nullptr) return false;
  long size = 0;
  const std::string tail = Tail(f, &size);
  if (size < 0) {
    std::fclose(f);
    return false;
  }
  const char* end_of_line = tail.ends_with("\r\n") ? "\r\n" : "\n";
  std::string line;
  if (!tail.empty() && !tail.ends_with('\n')) line += end_of_line;
  line += platform::ToCodePage(url);
  line += end_of_line;
  // Unbuffered, so the line goes out as one write; the seek switches the stream to output.
  std::setvbuf(f, nullptr, _IONBF, 0);
  const bool written = std::fseek(f, 0, SEEK_END) == 0 &&
                       std::fwrite(line.data(), 1, line.size(), f) == line.size();
  const bool closed = std::fclose(f) == 0;
  if (written && closed) return true;
  // A cut-off URL would download something else: the list goes back to its old size.
  std::error_code ignored;
  std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size), ignored);
  return false;
}

}  // namespace

ResultCode AppendListUrl(std::wstring_view url) {
  if (!TakeListLock()) {
    return ReportListResult(list_message::kInUse, level::kDetail, level::kNotShown,
                            rc::kWriteInUse);
  }
  if (!AppendLine(ProgramPaths.listLockPathMb, url)) {
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
