// FakeWindow: the fake clock's timers.
#include "support/fake_window.h"

#include <algorithm>

namespace zenpo::test {

void FakeWindow::SetTimer(int id, int period_ms) {
  Locked([&] {
    timers_[id] = period_ms;
    due_ms_[id] = now_ms_ + std::max(period_ms, platform::kMinTimerPeriodMs);
  });
}

int FakeWindow::AdvanceClock(std::int64_t ms) {
  int delivered = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  const std::int64_t target = now_ms_ + ms;
  for (;;) {
    auto next = std::min_element(due_ms_.begin(), due_ms_.end(),
                                 [](auto& a, auto& b) { return a.second < b.second; });
    if (next == due_ms_.end() || next->second > target) break;
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

}  // namespace zenpo::test
