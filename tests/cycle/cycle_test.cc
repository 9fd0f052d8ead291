// The download cycle on the fake window's clock, the clipboard watcher on a fake clipboard.
#include <algorithm>
#include <thread>

#include <gtest/gtest.h>

#include "cycle/clipboard_watcher.h"
#include "cycle/download_cycle.h"
#include "platform/text.h"
#include "runtime/run_flags.h"
#include "runtime/status_lines.h"
#include "runtime/tray_icon.h"
#include "runtime/window_messages.h"
#include "support/fake_clipboard.h"
#include "support/fake_window.h"
#include "support/program_home.h"
#include "support/recording_message_box.h"

namespace zenpo {
namespace {

using std::chrono::milliseconds;

// Ticks reach the cycle as from the window procedure; a job runs until hold_ lets it go.
class DownloadCycleTest : public ::testing::Test {
 protected:
  DownloadCycleTest() {
    ResetRunFlags();
    ResetTrayState();
    StatusLines.ClearAll();
    AppSettings.title = L"idle-title";
    AppSettings.titleDL = L"busy-title";
    services_.select = [this](SelectedEntry* entry) {
      ++selections_;
      if (!queue_.empty()) *entry = {std::exchange(queue_, L""), L"a", L"r", L"z", L"c"};
      return select_result_.load();
    };
    services_.start_job = [this](DownloadJob job) {
      jobs_.push_back(job);
      return platform::WorkerThread::Start([this] {
        while (hold_) std::this_thread::yield();
        JobResult = job_result_.load();
      });
    };
    services_.open_hook = [this](const std::wstring& path) { hooks_.push_back(path); };
    window_.SetWindowProc([this](std::uint32_t msg, std::uintptr_t id, std::intptr_t) {
      if (msg == platform::msg::kTimer && id == timer_id::kCycle) cycle_->OnCycleTimer();
      if (msg == platform::msg::kTimer && id == timer_id::kJobPoll) cycle_->OnJobPollTimer();
      return std::intptr_t{0};
    });
    Restart();
  }
  ~DownloadCycleTest() override {
    hold_ = false;
    cycle_.reset();
    ResetRunFlags();
  }
  void Restart() {
    cycle_ = std::make_unique<DownloadCycle>(window_, services_);
    cycle_->Start();
  }
  void Seconds(int n) { window_.AdvanceClock(n * 1000); }
  bool ShutdownPosted() {
    return std::ranges::any_of(window_.TakePosted(), [](const auto& m) { return m.message == ShutdownMsg; });
  }
  void PollAfterJobEnds() {
    hold_ = false;
    while (cycle_->JobRunning()) std::this_thread::yield();
    Seconds(1);
  }

  test::ProgramHome home_;
  test::FakeWindow window_;
  CycleServices services_;
  std::unique_ptr<DownloadCycle> cycle_;
  std::wstring queue_;
  std::vector<DownloadJob> jobs_;
  std::vector<std::wstring> hooks_;
  std::atomic<ResultCode> select_result_ = rc::kSelectDone, job_result_ = rc::kDownloaded;
  std::atomic<bool> hold_ = true;
  int selections_ = 0;
};

TEST_F(DownloadCycleTest, EveryFourthTickSelectsAndPauseHoldsTheCount) {
  Seconds(4);
  EXPECT_EQ(selections_, 1);
  Seconds(2);
  PauseRequested = 1;
  Seconds(10);
  PauseRequested = 0;
  Seconds(1);
  EXPECT_EQ(selections_, 1);
  Seconds(1);
  EXPECT_EQ(selections_, 2);
  select_result_ = rc::kSelectInUse;  // a busy list waits
  Seconds(4);
  EXPECT_FALSE(ShutdownPosted());
  select_result_ = rc::kSelectOpenFailed;  // a failed selection ends the program
  Seconds(4);
  EXPECT_TRUE(ShutdownPosted());
  EXPECT_EQ(cycle_->ProgramResult(), rc::kSelectOpenFailed);
}

TEST_F(DownloadCycleTest, AChosenEntryTurnsBusyOnceAndRunsItsJob) {
  queue_ = L"http://h/a.zip";
  Seconds(4);
  ASSERT_EQ(jobs_.size(), 1u);
  EXPECT_EQ(jobs_[0].url + jobs_[0].agent + jobs_[0].authorization, L"http://h/a.zipaz");
  EXPECT_EQ(window_.title(), L"busy-title");
  Seconds(3);
  StatusLines.ProgressLine.Set(L"1 / 2 Bytes [ 50% ]");
  PollAfterJobEnds();
  EXPECT_EQ(StatusLines.StateLine.Get(), L"READ URL");
  EXPECT_TRUE(StatusLines.ProgressLine.empty());
  // The next selection finds nothing: idle again, with the idle hook, once.
  Seconds(12);
  EXPECT_EQ(window_.title() + StatusLines.StateLine.Get(), L"idle-titleWAITING");
  EXPECT_EQ(hooks_, (std::vector{ProgramPaths.StartDownloadHookPath, ProgramPaths.EndDownloadHookPath}));
}

TEST_F(DownloadCycleTest, PauseOrCloseDuringAJob) {
  queue_ = L"http://h/a.zip";
  Seconds(4);
  PauseRequested = 1;
  StatusLines.StateLine.Set(L"WAITING PAUSE");
  UpdateTrayIcon(tray_state::kChunkWritten);  // the chunk that meets the pause
  job_result_ = rc::kUserAbort;
  PollAfterJobEnds();
  EXPECT_EQ(StatusLines.StateLine.Get(), L"WAITING PAUSE") << "not READ URL while paused";
  EXPECT_EQ(CurrentTrayPicture(), tray_picture::kPaused);
  Seconds(1);
  EXPECT_EQ(StatusLines.StateLine.Get(), L"PAUSE");
  CloseRequested = 1;
  Seconds(1);
  EXPECT_TRUE(ShutdownPosted());
  EXPECT_EQ(hooks_.size(), 1u) << "no idle hook on the way out";
}

// Each text of copies stands for two polls, after two of what was there before; "" is no
// text. After the last the program is asked to close.
class CopyingClipboard : public test::FakeClipboard {
 public:
  bool HasText() override {
    if (++polls_ > 2 * copies.size() + 2) {
      CloseRequested = 1;
    } else if (polls_ > 2 && polls_ % 2 == 1) {
      copies[polls_ / 2 - 1].empty() ? SetNonText() : SetText(copies[polls_ / 2 - 1]);
    }
    return FakeClipboard::HasText();
  }
  std::vector<std::wstring> copies;

 private:
  std::size_t polls_ = 0;
};

class ClipboardWatcherTest : public ::testing::Test {
 protected:
  ClipboardWatcherTest() {
    ResetRunFlags();
    ClipState = clip_state::kWatching;
  }
  ~ClipboardWatcherTest() override { ResetRunFlags(); }

  test::ProgramHome home_;
  test::RecordingMessageBox boxes_;
  CopyingClipboard clipboard_;
  std::vector<std::wstring> appended_;
  const WatcherServices services_ = {
      [this](std::wstring_view url) { return appended_.emplace_back(url), rc::kWriteDone; }, milliseconds(0), milliseconds(0)};
};

TEST_F(ClipboardWatcherTest, QueuesEachNewUrlOnceAndRepeatsOnlyAfterAChange) {
  AppSettings.https = 1;
  clipboard_.SetText(L"http://h/before.zip");
  clipboard_.copies = {L"http://h/a.zip", L"http://h/a.zip", L"http://h/b.zip", L"http://h/a.zip", L"some words",
                       L"http://h/a.zip", L"HTTP://h/c.zip", L"http://h/dir/", L"http://h/" + std::wstring(1100, L'x'),
                       L"http://h/a.zip\n899|http://h/x.zip", L"", L"https://h/s.zip", L"https://h/dir/", L"http://h/a.zip"};
  ClipboardWatcher(clipboard_, services_);
  // A, B, A, (words) A, then a secure S and A once more after texts that were never queued.
  EXPECT_EQ(appended_, std::vector<std::wstring>({L"http://h/a.zip", L"http://h/b.zip", L"http://h/a.zip",
                                                  L"http://h/a.zip", L"https://h/s.zip", L"http://h/a.zip"}));
  EXPECT_EQ(ClipState.load(), clip_state::kOff) << "a close request stops the watcher in order";
}

// A URL that cannot be queued ends the program, and the end keeps the append's code.
TEST_F(ClipboardWatcherTest, AnAppendThatKeepsFailingEndsTheProgramWithItsCode) {
  for (ResultCode failure : {rc::kWriteInUse, rc::kWriteReleaseFailed}) {
    ResetRunFlags();
    ClipState = clip_state::kWatching;
    int calls = 0;
    const WatcherServices failing = {[&](std::wstring_view) { return ++calls, failure; }, milliseconds(0), milliseconds(0)};
    CopyingClipboard clipboard;
    clipboard.copies = {L"http://h/a.zip"};
    ClipboardWatcher(clipboard, failing);
    EXPECT_EQ(calls, failure == rc::kWriteInUse ? 20 : 1) << "only a list in use is tried again";
    EXPECT_EQ(CloseRequested.load(), 1);
    EXPECT_EQ(ClipAppendFailure.load(), failure);
    EXPECT_EQ(boxes_.texts().back(), L"listfileの追記がタイムアウトしました");
  }
}

// The list is code page text: a URL the code page cannot hold unchanged would be queued as
// another ("?" starts a query), so it is not queued at all.
TEST_F(ClipboardWatcherTest, UrlsTheListsCodePageCannotHoldAreNeverQueued) {
  if (platform::CodePageName() != "CP932") GTEST_SKIP() << "for code page 932 (Windows)";
  clipboard_.copies = {L"http://h/d/한국어.bin", L"http://h/d/x😀y.bin", L"http://h/d/é€ü.bin",
                       L"http://h/d/東京.bin"};
  ClipboardWatcher(clipboard_, services_);
  EXPECT_EQ(appended_, std::vector<std::wstring>{L"http://h/d/東京.bin"});
}

TEST_F(ClipboardWatcherTest, AClipboardWithoutTextEndsTheProgram) {
  clipboard_.RefuseText(true);
  clipboard_.copies = {L"http://h/b.zip"};
  ClipboardWatcher(clipboard_, services_);
  EXPECT_EQ(CloseRequested.load(), 1);
  EXPECT_EQ(ClipState.load(), clip_state::kWatching) << "no orderly stop after a failed read";
}

}  // namespace
}  // namespace zenpo
