// A window that records what the core asks of it, for tests without a message loop.
// Thread-safe: the engine and the job thread call it from their own threads.
#pragma once

#include <map>
#include <utility>
#include <mutex>
#include <string>
#include <vector>

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

  // What was asked so far.
  std::vector<PostedMessage> TakePosted();
  bool TimerRunning(int id) const;
  int TimerPeriod(int id) const;  // 0 when not running
  int invalidations() const;
  std::wstring title() const;
  bool checked(int command_id) const;
  std::vector<int> tray_pictures() const;
  // Makes SetTrayPicture fail from now on (or succeed again).
  void FailTray(bool fail);

 private:
  mutable std::mutex mutex_;
  std::vector<PostedMessage> posted_;
  std::map<int, int> timers_;
  int invalidations_ = 0;
  std::wstring title_;
  bool visible_ = false;
  std::map<int, bool> checks_;
  std::vector<int> tray_;
  bool fail_tray_ = false;
};

}  // namespace zenpo::test
