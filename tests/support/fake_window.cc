// FakeWindow: records posted messages, timers, repaints and the visible parts.
#include "support/fake_window.h"

namespace zenpo::test {

void FakeWindow::Post(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
  std::lock_guard<std::mutex> lock(mutex_);
  posted_.push_back({message, wparam, lparam});
}

void FakeWindow::SetTimer(int id, int period_ms) {
  std::lock_guard<std::mutex> lock(mutex_);
  timers_[id] = period_ms;
}

void FakeWindow::KillTimer(int id) {
  std::lock_guard<std::mutex> lock(mutex_);
  timers_.erase(id);
}

void FakeWindow::Invalidate() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++invalidations_;
}

void FakeWindow::SetTitle(std::wstring_view title) {
  std::lock_guard<std::mutex> lock(mutex_);
  title_ = title;
}

void FakeWindow::Show(bool visible) {
  std::lock_guard<std::mutex> lock(mutex_);
  visible_ = visible;
}

bool FakeWindow::IsVisible() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return visible_;
}

void FakeWindow::BringToForeground() {}

void FakeWindow::CheckMenuItem(int command_id, bool checked) {
  std::lock_guard<std::mutex> lock(mutex_);
  checks_[command_id] = checked;
}

bool FakeWindow::SetTrayPicture(int index) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (fail_tray_) return false;
  tray_.push_back(index);
  return true;
}

std::vector<PostedMessage> FakeWindow::TakePosted() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(posted_, {});
}

bool FakeWindow::TimerRunning(int id) const { return TimerPeriod(id) != 0; }

int FakeWindow::TimerPeriod(int id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = timers_.find(id);
  return it == timers_.end() ? 0 : it->second;
}

int FakeWindow::invalidations() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return invalidations_;
}

std::wstring FakeWindow::title() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return title_;
}

bool FakeWindow::checked(int command_id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = checks_.find(command_id);
  return it != checks_.end() && it->second;
}

std::vector<int> FakeWindow::tray_pictures() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return tray_;
}

void FakeWindow::FailTray(bool fail) {
  std::lock_guard<std::mutex> lock(mutex_);
  fail_tray_ = fail;
}

}  // namespace zenpo::test
