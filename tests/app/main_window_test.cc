#include "app/main_window.h"

#include <gtest/gtest.h>

#include "runtime/run_flags.h"
#include "runtime/status_lines.h"
#include "runtime/tray_icon.h"
#include "runtime/window_messages.h"
#include "support/fake_window.h"
#include "support/program_home.h"

namespace zenpo {
namespace {

// The window procedure on a fake window: posted commands are delivered by hand.
class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() { ResetRunFlags(), ResetTrayState(), StatusLines.ClearAll(); }
  ~MainWindowTest() override { ResetRunFlags(), ResetTrayState(); }

  void Create(const std::wstring& class_name = L"ZENPO_main_0") {
    MainWindowServices services;
    services.cycle.select = [](SelectedEntry*) { return rc::kSelectDone; };
    services.cycle.start_job = [](DownloadJob) { return platform::WorkerThread(); };
    services.cycle.open_hook = [](const std::wstring&) {};
    services.start_watcher = [this] {
      ++watchers_;
      // Stands for a watcher that stops in order once asked.
      return platform::WorkerThread::Start([] {
        while (ClipState.load() == clip_state::kWatching && !CloseRequested.load()) {
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ClipState = clip_state::kOff;
      });
    };
    services.watcher_wait_step = std::chrono::milliseconds(1);
    main_ = std::make_unique<MainWindow>(window_, class_name, services);
    main_->post_quit = [this](int) { ++quits_; };
    window_.SetWindowProc([this](std::uint32_t m, std::uintptr_t w, std::intptr_t l) { return main_->WndProc(m, w, l); });
    Send(platform::msg::kCreate);
  }
  void Send(std::uint32_t message, std::uintptr_t wparam = 0, std::intptr_t lparam = 0) {
    main_->WndProc(message, wparam, lparam);
    for (auto posted = window_.TakePosted(); !posted.empty(); posted = window_.TakePosted()) {
      for (const auto& m : posted) main_->WndProc(m.message, m.wparam, m.lparam);
    }
  }
  void Command(int id) { Send(platform::msg::kCommand, static_cast<std::uintptr_t>(id)); }

  test::ProgramHome home_;
  test::FakeWindow window_;
  std::unique_ptr<MainWindow> main_;
  int watchers_ = 0;
  int quits_ = 0;
};

TEST_F(MainWindowTest, OnlySlotZeroWatchesTheClipboardAndTheEndWaitsForTheWatcher) {
  ClipState = clip_state::kWatching;  // as start-up arms it from the settings
  Create(L"ZENPO_main_1");
  Command(menu_cmd::kCheckClip);
  EXPECT_EQ(watchers_, 0);

  ClipState = clip_state::kWatching;
  Create(L"ZENPO_main_0");
  EXPECT_EQ(watchers_, 1) << "armed by the settings, started with the window";
  Command(menu_cmd::kCheckClip);
  Command(menu_cmd::kCheckClip);
  EXPECT_EQ(watchers_, 1) << "nothing while the stop is pending";
  while (ClipState.load() != clip_state::kOff) std::this_thread::yield();
  while (window_.TimerRunning(timer_id::kWatcherPoll)) window_.AdvanceClock(200);
  Command(menu_cmd::kCheckClip);
  EXPECT_EQ(watchers_, 2);
  CloseRequested = 1;  // the watcher ends with the close request, and the end waits for it
  Send(ShutdownMsg);
  EXPECT_EQ(ClipState.load(), clip_state::kOff);
  EXPECT_EQ(quits_, 1);
}

TEST_F(MainWindowTest, ATapOnTheTrayOpensTheMenuOnlyWhileHiddenAndExitStopsTheOtherItems) {
  Create();
  window_.Show(true);
  Send(TrayNotifyMsg, 0, platform::msg::kLeftButtonDown);
  Command(HideCmd);
  Send(TrayNotifyMsg, 0, 0x0202);  // a release is no tap
  EXPECT_EQ(window_.popups(), 0);
  Send(TrayNotifyMsg, 0, platform::msg::kLeftButtonDown);
  EXPECT_EQ(window_.popups(), 1);
  Command(menu_cmd::kExit);  // after EXIT only the open items and EXIT act
  Command(menu_cmd::kCheckClip);
  EXPECT_EQ(watchers_, 0);
}

}  // namespace
}  // namespace zenpo
