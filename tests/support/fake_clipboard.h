// A clipboard in memory that the test fills as a user would. Thread-safe: the watcher
// reads it on its thread.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "platform/clipboard.h"

namespace zenpo::test {

class FakeClipboard : public platform::Clipboard {
  // Runs f under the one lock (defined first: the members below deduce from it).
  template <typename F> auto Locked(F f) const { std::lock_guard lock(mutex_); return f(); }
  mutable std::mutex mutex_;

 public:
  bool HasText() override { return Locked([&] { return text_.has_value(); }); }
  platform::ClipboardText ReadText() override {
    using enum platform::ClipboardStatus;
    return Locked([&]() -> platform::ClipboardText {
      if (!text_ || refuse_) return {text_ ? kNotHandedOut : kNoText, {}};
      return {kText, text_->substr(0, text_->find(L'\0'))};  // as the system's: ends at NUL
    });
  }
  bool Empty() override { return Locked([&] { text_.reset(); return true; }); }

  // The user copies text (it replaces what was there), or something that is not text;
  // a refusing clipboard offers text but hands none out.
  void SetText(std::wstring text) { Locked([&] { text_ = std::move(text); }); }
  void SetNonText() { Locked([&] { text_.reset(); }); }
  void RefuseText(bool refuse) { Locked([&] { refuse_ = refuse; }); }

 private:
  std::optional<std::wstring> text_;
  bool refuse_ = false;
};

}  // namespace zenpo::test
