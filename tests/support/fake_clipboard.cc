// FakeClipboard: the text, the refusal switch and the call counts under one lock.
#include "support/fake_clipboard.h"

namespace zenpo::test {

bool FakeClipboard::HasText() {
  std::lock_guard<std::mutex> lock(mutex_);
  return text_.has_value();
}

platform::ClipboardText FakeClipboard::ReadText() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++reads_;
  platform::ClipboardText result;
  if (!text_) return result;
  if (refuse_) {
    result.status = platform::ClipboardStatus::kNotHandedOut;
    return result;
  }
  result.status = platform::ClipboardStatus::kText;
  // As the system clipboard: the text ends at its first NUL.
  result.text = text_->substr(0, text_->find(L'\0'));
  return result;
}

bool FakeClipboard::Empty() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++empties_;
  text_.reset();
  return true;
}

void FakeClipboard::SetText(std::wstring text) {
  std::lock_guard<std::mutex> lock(mutex_);
  text_ = std::move(text);
}

void FakeClipboard::SetNonText() {
  std::lock_guard<std::mutex> lock(mutex_);
  text_.reset();
}

void FakeClipboard::RefuseText(bool refuse) {
  std::lock_guard<std::mutex> lock(mutex_);
  refuse_ = refuse;
}

int FakeClipboard::reads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reads_;
}

int FakeClipboard::empties() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return empties_;
}

}  // namespace zenpo::test
