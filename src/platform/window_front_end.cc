// HeadlessFrontEnd: the window's visible state kept under a lock, never drawn.
#include "platform/window_front_end.h"

namespace zenpo::platform {

void HeadlessFrontEnd::SetTitle(std::wstring_view title) {
  std::lock_guard<std::mutex> lock(mutex_);
  title_ = title;
}

void HeadlessFrontEnd::Show(bool visible) {
  std::lock_guard<std::mutex> lock(mutex_);
  visible_ = visible;
}

bool HeadlessFrontEnd::IsVisible() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return visible_;
}

void HeadlessFrontEnd::BringToForeground() {}

void HeadlessFrontEnd::CheckMenuItem(int command_id, bool checked) {
  std::lock_guard<std::mutex> lock(mutex_);
  checks_[command_id] = checked;
}

bool HeadlessFrontEnd::SetTrayPicture(int index) {
  std::lock_guard<std::mutex> lock(mutex_);
  tray_picture_ = index;
  return true;
}

std::wstring HeadlessFrontEnd::title() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return title_;
}

bool HeadlessFrontEnd::checked(int command_id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = checks_.find(command_id);
  return it != checks_.end() && it->second;
}

int HeadlessFrontEnd::tray_picture() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return tray_picture_;
}

void HeadlessFrontEnd::DrawStatus(const StatusView& view) {
  std::lock_guard<std::mutex> lock(mutex_);
  status_ = view;
}

StatusView HeadlessFrontEnd::last_status() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return status_;
}

}  // namespace zenpo::platform
