// The replaceable message box: a handler under a lock, a stderr line by default.
#include "platform/message_box.h"

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
  if (handler) {
    handler(text);
  } else {
    WriteToStderr(text);
  }
}

void SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard<std::mutex> lock(handler_mutex);
  Handler() = std::move(handler);
}

}  // namespace zenpo::platform
