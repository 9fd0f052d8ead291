// StatusText and the process's StatusLines.
#include "runtime/status_lines.h"

namespace zenpo {

StatusLinesRecord StatusLines;

void StatusText::Set(std::wstring_view text) {
  if (text.size() >= capacity_) text = text.substr(0, capacity_ - 1);
  std::lock_guard<std::mutex> lock(mutex_);
  text_.assign(text);
}

std::wstring StatusText::Get() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return text_;
}

bool StatusText::empty() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return text_.empty();
}

void StatusLinesRecord::ClearAll() {
  StateLine.Clear();
  ProgressLine.Clear();
  TimeLine.Clear();
  BandLine.Clear();
  UrlLine.Clear();
  ResumeLine.Clear();
}

}  // namespace zenpo
