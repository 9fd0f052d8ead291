// The replaceable message box: a handler under a lock, a stderr line by default.
#include "platform/message_box.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/text.h"

namespace zenpo::platform {
namespace {

std::mutex handler_mutex;
MessageBoxHandler& Handler() {
  static MessageBoxHandler handler;
  return handler;
}
std::function<void()>& DismissHandler() {
  static std::function<void()> dismiss;
  return dismiss;
}
std::atomic<bool> dismissed{false};

void WriteToStderr(std::wstring_view text) {
  const std::string line = "ZENPO: " + ToCodePage(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

void ShowMessageBox(std::wstring_view text) {
  MessageBoxHandler handler;
  {
    std::lock_guard<std::mutex> lock(handler_mutex);
    handler = Handler();
  }
  // The handler runs without the lock: a box may block its thread for a long time.
  if (handler && !dismissed.load()) {
    handler(text);
  } else {
    WriteToStderr(text);
  }
}

void SetMessageBoxHandler(MessageBoxHandler handler, std::function<void()> dismiss) {
  std::lock_guard<std::mutex> lock(handler_mutex);
  Handler() = std::move(handler);
  DismissHandler() = std::move(dismiss);
}

void DismissMessageBoxes() {
  dismissed.store(true);
  std::function<void()> dismiss;
  {
    std::lock_guard<std::mutex> lock(handler_mutex);
    dismiss = DismissHandler();
  }
  if (dismiss) dismiss();
}

}  // namespace zenpo::platform
