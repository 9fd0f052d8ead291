// ReportMessage with its log file retries and failure boxes.
#include "report/report_message.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cwctype>
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
std::atomic<bool> private_log{false};

std::FILE* OpenLogWithRetries(const std::wstring& path) {
  const bool owner_only = private_log.load();
  std::FILE* f = platform::OpenForAppend(path, owner_only);
  for (int i = 0; i < kOpenRetries && f == nullptr; ++i) {
    f = platform::OpenForAppend(path, owner_only);
    // The pause follows every retry, the successful one included.
    std::this_thread::sleep_for(kRetryPause);
  }
  return f;
}

bool IsCredentialHeaderName(std::wstring_view name) {
  while (!name.empty() && (name.back() == L' ' || name.back() == L'\t')) name.remove_suffix(1);
  auto equals_no_case = [name](std::wstring_view word) {
    return name.size() == word.size() &&
           std::equal(name.begin(), name.end(), word.begin(),
                      [](wchar_t a, wchar_t b) { return std::towlower(a) == std::towlower(b); });
  };
  return equals_no_case(L"Authorization") || equals_no_case(L"Proxy-Authorization");
}

}  // namespace

std::wstring MaskCredentials(std::wstring_view text) {
  std::wstring masked;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find_first_of(L"\r\n", start);
    if (end == std::wstring_view::npos) end = text.size();
    const std::wstring_view line = text.substr(start, end - start);
    const std::size_t colon = line.find(L':');
    if (colon != std::wstring_view::npos && IsCredentialHeaderName(line.substr(0, colon))) {
      // The scheme stays ("Basic"), so the log still says which kind was sent.
      std::size_t value = line.find_first_not_of(L" \t", colon + 1);
      if (value == std::wstring_view::npos) value = line.size();
      const std::size_t scheme_end = line.find_first_of(L" \t", value);
      masked += line.substr(0, scheme_end == std::wstring_view::npos ? value : scheme_end + 1);
      masked += L"***";
    } else {
      masked += line;
    }
    if (end == text.size()) break;
    masked += text[end];
    start = end + 1;
  }
  return masked;
}

void SetPrivateLogFile(bool owner_only) { private_log = owner_only; }

std::string FormatLogTimestamp(const platform::CalendarTime& t) {
  char buf[64];
  std::snprintf(buf, sizeof(buf), "%4d/%2d/%2d %2d:%2d:%2d ", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return buf;
}

ResultCode ReportMessage(std::wstring_view raw_text, int logLevel, int msgLevel) {
  const bool logged = logLevel <= AppSettings.loglevel;
  const bool shown = msgLevel <= AppSettings.msglevel;
  // The traces of every read come here too: a text nobody sees is not copied.
  if (!logged && !shown) return 0;
  // Header lines may carry credentials; neither the log nor a box shows them.
  const std::wstring text = MaskCredentials(raw_text);
  if (logged) {
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
  if (shown) platform::ShowMessageBox(text);
  return 0;
}

}  // namespace zenpo
