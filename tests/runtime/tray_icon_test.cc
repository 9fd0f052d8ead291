#include "runtime/tray_icon.h"

#include <gtest/gtest.h>

#include <thread>

#include "runtime/run_flags.h"
#include "support/fake_window.h"
#include "support/program_home.h"

namespace zenpo {
namespace {

class TrayIconTest : public ::testing::Test {
 protected:
  TrayIconTest() {
    ResetTrayState();
    ResetRunFlags();
  }
  ~TrayIconTest() override {
    ResetTrayState();
    ResetRunFlags();
  }
  test::ProgramHome home_;
  test::FakeWindow window_;
};

// The data frames run on from one download to the next, paused or not.
TEST_F(TrayIconTest, IdleBusyPausedAndDataFrames) {
  SetTrayWindow(&window_);
  UpdateTrayIcon(tray_state::kBusy);
  UpdateTrayIcon(tray_state::kChunkWritten);
  UpdateTrayIcon(tray_state::kChunkWritten);
  UpdateTrayIcon(tray_state::kIdle);
  PauseRequested = 1;
  UpdateTrayIcon(tray_state::kIdle);
  UpdateTrayIcon(tray_state::kChunkWritten);
  UpdateTrayIcon(tray_state::kChunkWritten);
  UpdateTrayIcon(tray_state::kBusy);
  EXPECT_EQ(window_.tray_pictures(), (std::vector<int>{0, 3, 4, 1, 2, 5, 3, 2}));
  EXPECT_EQ(CurrentTrayPicture(), tray_picture::kPaused);
}

TEST_F(TrayIconTest, RefusedPictureIsReportedAndKeepsThePrevious) {
  // Without a window only the state changes, and nothing is reported.
  UpdateTrayIcon(tray_state::kBusy);
  EXPECT_EQ(CurrentTrayPicture(), tray_picture::kBusy);
  EXPECT_TRUE(home_.LogText().empty());
  SetTrayWindow(&window_);
  UpdateTrayIcon(tray_state::kBusy);
  window_.FailTray(true);
  UpdateTrayIcon(tray_state::kIdle);
  EXPECT_EQ(CurrentTrayPicture(), tray_picture::kBusy);
  EXPECT_NE(home_.LogText().find("トレイアイコン生成エラー"), std::string::npos);
}

// The job thread steps the frames while the UI thread switches busy and idle.
TEST_F(TrayIconTest, ConcurrentUpdatesStepEveryFrameOnce) {
  SetTrayWindow(&window_);
  std::thread job([] {
    for (int i = 0; i < 3000; ++i) UpdateTrayIcon(tray_state::kChunkWritten);
  });
  for (int i = 0; i < 3000; ++i) UpdateTrayIcon(i % 2);
  job.join();
  // From frame 2 the steps run 3, 4, 5, 3, ...: no step lost, the 3000th shows 5.
  EXPECT_EQ(TrayAnimFrame.load(), 5);
  EXPECT_EQ(window_.tray_pictures().size(), 6000u);
}

}  // namespace
}  // namespace zenpo
