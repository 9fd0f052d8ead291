// A window that records what the core asks of it, for tests without a message loop.
// Its timers run on a fake clock that only the test moves, and the test delivers ticks
// and posted messages to a window procedure by hand, so timer handlers are tested
// without sleeping.
// Thread-safe: the engine and the job thread call it from their own threads.
#pragma once

#include <cstdint>
#include <map>
#include <utility>
#include <mutex>
#include <string>
#include <vector>

#include "platform/message_loop.h"
#include "platform/window.h"

namespace zenpo::test {

struct PostedMessage {
  std::uint32_t message;
  std::uintptr_t wparam;
  std::intptr_t lparam;
};

class FakeWindow : public platform::Window {
 public:
  void Post(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) override;
  void SetTimer(int id, int period_ms) override;
  void KillTimer(int id) override;
  void Invalidate() override;
  void SetTitle(std::wstring_view title) override;
  void Show(bool visible) override;
  bool IsVisible() const override;
  void BringToForeground() override;
  void CheckMenuItem(int command_id, bool checked) override;
  bool SetTrayPicture(int index) override;
  void DrawStatus(const platform::StatusView& view) override;
  void PopupMenu() override;
  bool OpenForUser(std::wstring_view path) override;

  // What was asked so far.
  std::vector<PostedMessage> TakePosted();
  bool TimerRunning(int id) const;
  int TimerPeriod(int id) const;  // 0 when not running
  int invalidations() const;
  std::wstring title() const;
  bool checked(int command_id) const;
  std::vector<int> tray_pictures() const;
  platform::StatusView last_status() const;
  int popups() const;
  std::vector<std::wstring> opened_for_user() const;
  // Makes SetTrayPicture fail from now on (or succeed again).
  void FailTray(bool fail);

  // The procedure that AdvanceClock, FireTimer and DeliverPosted call, on the test's
  // thread and without any lock held, so it may call the window again.
  void SetWindowProc(platform::WindowProc proc);
  // The fake clock: milliseconds since the window was made. A timer set at time t with
  // period p is due at t + p, t + 2p, ...
  std::int64_t now_ms() const;
  // Moves the fake clock forward by ms, delivering every tick that falls due on the way
  // in time order (equal times by id), with the clock standing at the tick's time. A
  // handler takes no fake time. Returns the number of ticks delivered.
  int AdvanceClock(std::int64_t ms);
  // Delivers one tick of a running timer now, out of turn; its next tick stays where it
  // was. False when the timer does not run.
  bool FireTimer(int id);
  // Delivers the posted messages in order, also those posted meanwhile, and returns how
  // many. The quit message is delivered like any other.
  int DeliverPosted();

 private:
  mutable std::mutex mutex_;
  std::vector<PostedMessage> posted_;
  std::map<int, int> timers_;           // id -> period as set
  std::map<int, std::int64_t> due_ms_;  // id -> next tick on the fake clock
  std::int64_t now_ms_ = 0;
  platform::WindowProc proc_;
  int invalidations_ = 0;
  std::wstring title_;
  bool visible_ = false;
  std::map<int, bool> checks_;
  std::vector<int> tray_;
  bool fail_tray_ = false;
  platform::StatusView status_;
  int popups_ = 0;
  std::vector<std::wstring> opened_;
};

}  // namespace zenpo::test
