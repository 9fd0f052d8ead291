// Records every message box instead of showing it, for as long as it lives.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/message_box.h"

namespace zenpo::test {

class RecordingMessageBox {
 public:
  RecordingMessageBox() {
    platform::SetMessageBoxHandler([this](std::wstring_view text) { std::lock_guard lock(mutex_); texts_.emplace_back(text); });
  }
  ~RecordingMessageBox() { platform::SetMessageBoxHandler(nullptr); }

  std::vector<std::wstring> texts() const { std::lock_guard lock(mutex_); return texts_; }

 private:
  mutable std::mutex mutex_;
  std::vector<std::wstring> texts_;
};

}  // namespace zenpo::test
