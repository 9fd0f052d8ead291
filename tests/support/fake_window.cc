// FakeWindow: records posted messages, timers, repaints and the visible parts.
#include "support/fake_window.h"

#include <algorithm>

namespace zenpo::test {

void FakeWindow::Post(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
  std::lock_guard<std::mutex> lock(mutex_);
  posted_.push_back({message, wparam, lparam});
}

void FakeWindow::SetTimer(int id, int period_ms) {
  std::lock_guard<std::mutex> lock(mutex_);
  timers_[id] = period_ms;
  due_ms_[id] = now_ms_ + std::max(period_ms, platform::kMinTimerPeriodMs);
}

void FakeWindow::KillTimer(int id) {
  std::lock_guard<std::mutex> lock(mutex_);
  timers_.erase(id);
  due_ms_.erase(id);
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

void FakeWindow::SetWindowProc(platform::WindowProc proc) {
  std::lock_guard<std::mutex> lock(mutex_);
  proc_ = std::move(proc);
}

std::int64_t FakeWindow::now_ms() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return now_ms_;
}

int FakeWindow::AdvanceClock(std::int64_t ms) {
  int delivered = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  const std::int64_t target = now_ms_ + ms;
  for (;;) {
    auto next = due_ms_.end();
    for (auto it = due_ms_.begin(); it != due_ms_.end(); ++it) {
      if (it->second <= target && (next == due_ms_.end() || it->second < next->second)) next = it;
    }
    if (next == due_ms_.end()) break;
    const int id = next->first;
    now_ms_ = next->second;
    next->second += std::max(timers_[id], platform::kMinTimerPeriodMs);
    platform::WindowProc proc = proc_;
    lock.unlock();
    if (proc) proc(platform::msg::kTimer, static_cast<std::uintptr_t>(id), 0);
    ++delivered;
    lock.lock();
  }
  now_ms_ = target;
  return delivered;
}

bool FakeWindow::FireTimer(int id) {
  platform::WindowProc proc;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (timers_.count(id) == 0) return false;
    proc = proc_;
  }
  if (proc) proc(platform::msg::kTimer, static_cast<std::uintptr_t>(id), 0);
  return true;
}

int FakeWindow::DeliverPosted() {
  int delivered = 0;
  for (;;) {
    PostedMessage m;
    platform::WindowProc proc;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (posted_.empty()) return delivered;
      m = posted_.front();
      posted_.erase(posted_.begin());
      proc = proc_;
    }
    if (proc) proc(m.message, m.wparam, m.lparam);
    ++delivered;
  }
}

void FakeWindow::DrawStatus(const platform::StatusView& view) {
  std::lock_guard<std::mutex> lock(mutex_);
  status_ = view;
}

void FakeWindow::PopupMenu() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++popups_;
}

bool FakeWindow::OpenForUser(std::wstring_view path) {
  std::lock_guard<std::mutex> lock(mutex_);
  opened_.emplace_back(path);
  return true;
}

platform::StatusView FakeWindow::last_status() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return status_;
}

int FakeWindow::popups() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return popups_;
}

std::vector<std::wstring> FakeWindow::opened_for_user() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return opened_;
}

}  // namespace zenpo::test
