// ReportMessage with its log file retries and failure boxes.
#include "report/report_message.h"

#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

#include "config/program_paths.h"
#include "config/settings.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/text.h"

namespace zenpo {
namespace {

constexpr int kOpenRetries = 20;
constexpr auto kRetryPause = std::chrono::milliseconds(100);
// The log form of a text holds at most this many bytes.
constexpr std::size_t kMaxLogTextBytes = 5214;

// Keeps the lines of this process whole; between processes each line is one append.
std::mutex log_mutex;

std::FILE* OpenLogWithRetries(const std::wstring& path) {
  std::FILE* f = platform::OpenFile(path, "a");
  for (int i = 0; i < kOpenRetries && f == nullptr; ++i) {
    f = platform::OpenFile(path, "a");
    // The pause follows every retry, the successful one included.
    std::this_thread::sleep_for(kRetryPause);
  }
  return f;
}

}  // namespace

std::string FormatLogTimestamp(const platform::CalendarTime& t) {
  char buf[64];
  std::snprintf(buf, sizeof(buf), "%4d/%2d/%2d %2d:%2d:%2d ", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return buf;
}

ResultCode ReportMessage(std::wstring_view text, int logLevel, int msgLevel) {
  if (logLevel <= AppSettings.loglevel) {
    std::string line = FormatLogTimestamp(platform::LocalCalendarTime());
    line += platform::ToCodePage(text, kMaxLogTextBytes);
    line += '\n';
    std::unique_lock<std::mutex> lock(log_mutex);
    std::FILE* f = OpenLogWithRetries(ProgramPaths.LogPath);
    if (f == nullptr) {
      lock.unlock();
      platform::ShowMessageBox(L"Logfileアクセスでerrorが発生しました");
      platform::ShowMessageBox(ProgramPaths.LogPath);
      return rc::kLogUnusable;
    }
    // One unbuffered write of the whole line: an append of its own in the file, so lines
    // of other instances never land inside it.
    std::setvbuf(f, nullptr, _IONBF, 0);
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
  }
  if (msgLevel <= AppSettings.msglevel) platform::ShowMessageBox(text);
  return 0;
}

}  // namespace zenpo
