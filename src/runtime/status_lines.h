// The six status lines that the main window draws and the engine, the job thread and the
// cycle write.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

namespace zenpo {

// One line of text with a fixed capacity (in characters, terminator included, so it
// holds capacity - 1 characters; longer texts are cut). Every write and read takes the
// line's own mutex, so a reader on any thread sees a whole text, never a torn one.
class StatusText {
 public:
  explicit StatusText(std::size_t capacity) : capacity_(capacity) {}
  StatusText(const StatusText&) = delete;
  StatusText& operator=(const StatusText&) = delete;

  void Set(std::wstring_view text);
  std::wstring Get() const;
  void Clear() { Set({}); }
  bool empty() const;

 private:
  const std::size_t capacity_;
  mutable std::mutex mutex_;
  std::wstring text_;
};

namespace status_capacity {
constexpr std::size_t kShort = 52;  // every line but UrlLine
constexpr std::size_t kUrl = 1076;
}  // namespace status_capacity

struct StatusLinesRecord {
  // "WAITING", "OPEN URL", "LOADING", ... (drawn in red while closing).
  StatusText StateLine{status_capacity::kShort};
  // "%lld / %lld Bytes [ %lld%% ]": local size, expected size, percentage.
  StatusText ProgressLine{status_capacity::kShort};
  // "Time : %lld [ -%lld ] sec": elapsed and remaining seconds.
  StatusText TimeLine{status_capacity::kShort};
  // "Avg.BAND : %lld Kbps".
  StatusText BandLine{status_capacity::kShort};
  // The running URL in its display form, pieces separated by " /".
  StatusText UrlLine{status_capacity::kUrl};
  // "Resume OK" or "Resume NG".
  StatusText ResumeLine{status_capacity::kShort};

  // Empties all six lines.
  void ClearAll();
};

// The one record of the process; all six lines start empty.
extern StatusLinesRecord StatusLines;

}  // namespace zenpo
