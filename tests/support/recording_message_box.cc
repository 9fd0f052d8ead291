// RecordingMessageBox on the replaceable message box handler.
#include "support/recording_message_box.h"

#include "platform/message_box.h"

namespace zenpo::test {

RecordingMessageBox::RecordingMessageBox() {
  platform::SetMessageBoxHandler([this](std::wstring_view text) {
    std::lock_guard<std::mutex> lock(mutex_);
    texts_.emplace_back(text);
  });
}

RecordingMessageBox::~RecordingMessageBox() { platform::SetMessageBoxHandler(nullptr); }

std::vector<std::wstring> RecordingMessageBox::texts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return texts_;
}

}  // namespace zenpo::test
