// A clipboard in memory that the test fills as a user would. Thread-safe: the watcher
// reads it on its thread.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "platform/clipboard.h"

namespace zenpo::test {

class FakeClipboard : public platform::Clipboard {
  // Every member below runs f under the one lock (defined first: the others deduce from it).
  template <typename F>
  auto Locked(F f) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return f();
  }
  mutable std::mutex mutex_;

 public:
  bool HasText() override { return Locked([&] { return text_.has_value(); }); }
  platform::ClipboardText ReadText() override {
    return Locked([&] {
      platform::ClipboardText result;
      if (text_ && refuse_) result.status = platform::ClipboardStatus::kNotHandedOut;
      if (!text_ || refuse_) return result;
      result.status = platform::ClipboardStatus::kText;
      result.text = text_->substr(0, text_->find(L'\0'));  // as the system's: ends at NUL
      return result;
    });
  }
  bool Empty() override { return Locked([&] { text_.reset(); return true; }); }

  // The user copies text (it replaces what was there), or something that is not text.
  void SetText(std::wstring text) { Locked([&] { text_ = std::move(text); }); }
  void SetNonText() { Locked([&] { text_.reset(); }); }
  // From now on the clipboard offers text but hands none out (or behaves again).
  void RefuseText(bool refuse) { Locked([&] { refuse_ = refuse; }); }

 private:
  std::optional<std::wstring> text_;
  bool refuse_ = false;
};

}  // namespace zenpo::test
