// A window that records what the core asks of it, with timers on a fake clock that only
// the test moves. Thread-safe: the engine and the job thread call it too.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/message_loop.h"
#include "platform/window.h"

namespace zenpo::test {

struct PostedMessage { std::uint32_t message; std::uintptr_t wparam; std::intptr_t lparam; };

class FakeWindow : public platform::Window {
  // Runs f under the one lock (defined first: the members below deduce from it).
  template <typename F> auto Locked(F f) const { std::lock_guard lock(mutex_); return f(); }
  mutable std::mutex mutex_;

 public:
  void Post(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) override {
    Locked([&] { posted_.push_back({message, wparam, lparam}); });
  }
  void SetTimer(int id, int period_ms) override {
    const std::int64_t period = std::max(period_ms, platform::kMinTimerPeriodMs);
    Locked([&] { timers_[id] = {period, now_ms_ + period}; });
  }
  void KillTimer(int id) override { Locked([&] { timers_.erase(id); }); }
  void Invalidate() override {}
  void SetTitle(std::wstring_view title) override { Locked([&] { title_ = title; }); }
  void Show(bool visible) override { Locked([&] { visible_ = visible; }); }
  bool IsVisible() const override { return Locked([&] { return visible_; }); }
  void BringToForeground() override {}
  void CheckMenuItem(int, bool) override {}
  bool SetTrayPicture(int index) override { return Locked([&] { return !fail_tray_ && (tray_.push_back(index), true); }); }
  void DrawStatus(const platform::StatusView&) override {}
  void PopupMenu() override { Locked([&] { ++popups_; }); }
  bool OpenForUser(std::wstring_view) override { return true; }

  std::vector<PostedMessage> TakePosted() { return Locked([&] { return std::exchange(posted_, {}); }); }
  bool TimerRunning(int id) const { return Locked([&] { return timers_.count(id) != 0; }); }
  std::wstring title() const { return Locked([&] { return title_; }); }
  std::vector<int> tray_pictures() const { return Locked([&] { return tray_; }); }
  int popups() const { return Locked([&] { return popups_; }); }
  void FailTray(bool fail) { Locked([&] { fail_tray_ = fail; }); }

  // AdvanceClock calls it on the test's thread and without the lock, so it may call the window.
  void SetWindowProc(platform::WindowProc proc) { Locked([&] { proc_ = std::move(proc); }); }
  // Delivers every tick due within ms in time order (equal times by id), the clock
  // standing at each tick's time; a timer set at t with period p is due at t + p, t + 2p...
  void AdvanceClock(std::int64_t ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    const std::int64_t target = now_ms_ + ms;
    for (;;) {
      auto next = std::min_element(timers_.begin(), timers_.end(), [](auto& a, auto& b) { return a.second.due < b.second.due; });
      if (next == timers_.end() || next->second.due > target) break;
      const int id = next->first;
      now_ms_ = next->second.due;
      next->second.due += next->second.period;
      platform::WindowProc proc = proc_;
      lock.unlock();
      if (proc) proc(platform::msg::kTimer, static_cast<std::uintptr_t>(id), 0);
      lock.lock();
    }
    now_ms_ = target;
  }

 private:
  std::vector<PostedMessage> posted_;
  struct Timer { std::int64_t period, due; };  // on the fake clock, in ms
  std::map<int, Timer> timers_;
  std::int64_t now_ms_ = 0;
  platform::WindowProc proc_;
  std::wstring title_;
  bool visible_ = false;
  std::vector<int> tray_;
  bool fail_tray_ = false;
  int popups_ = 0;
};

}  // namespace zenpo::test
