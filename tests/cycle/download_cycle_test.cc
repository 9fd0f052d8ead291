#include "cycle/download_cycle.h"

#include <gtest/gtest.h>

#include <future>
#include <vector>

#include "config/program_paths.h"
#include "config/settings.h"
#include "runtime/run_flags.h"
#include "runtime/status_lines.h"
#include "runtime/tray_icon.h"
#include "runtime/window_messages.h"
#include "support/fake_window.h"
#include "support/program_home.h"

namespace zenpo {
namespace {

// Drives the cycle as the window procedure does: ticks by timer id, on the fake clock.
class DownloadCycleTest : public ::testing::Test {
 protected:
  DownloadCycleTest() {
    ResetRunFlags();
    ResetTrayState();
    StatusLines.ClearAll();
    AppSettings.title = L"idle-title";
    AppSettings.titleDL = L"busy-title";
    CycleServices services;
    services.select = [this](SelectedEntry* entry) {
      ++selections_;
      if (queue_.empty()) return select_result_;
      *entry = queue_.front();
      queue_.erase(queue_.begin());
      return select_result_;
    };
    services.start_job = [this](DownloadJob job) {
      jobs_.push_back(job);
      std::shared_future<void> go = release_.get_future().share();
      // The result is read after the release, which orders it after the test's write.
      return platform::WorkerThread::Start([this, go] {
        go.wait();
        JobResult = job_result_;
      });
    };
    services.open_hook = [this](const std::wstring& path) { hooks_.push_back(path); };
    cycle_ = std::make_unique<DownloadCycle>(window_, services);
    window_.SetWindowProc([this](std::uint32_t msg, std::uintptr_t id, std::intptr_t) {
      if (msg != platform::msg::kTimer) return std::intptr_t{0};
      switch (id) {
        case timer_id::kCycle: cycle_->OnCycleTimer(); break;
        case timer_id::kJobPoll: cycle_->OnJobPollTimer(); break;
        case timer_id::kProgress: cycle_->OnProgressTimer(); break;
        case timer_id::kWatcherPoll: cycle_->OnWatcherPollTimer(); break;
      }
      return std::intptr_t{0};
    });
    cycle_->Start();
  }
  ~DownloadCycleTest() override {
    FinishJob();
    ResetRunFlags();
  }

  void Queue(const std::wstring& url) { queue_.push_back(SelectedEntry{url, L"a", L"r", L"z", L"c"}); }
  // Lets the running job end and sees the poll take it.
  void FinishJob() {
    if (released_) return;
    released_ = true;
    release_.set_value();
  }
  void Seconds(int n) { window_.AdvanceClock(n * 1000); }
  bool ShutdownPosted() {
    for (const auto& m : window_.TakePosted()) {
      if (m.message == ShutdownMsg) return true;
    }
    return false;
  }
  // Waits for the job thread to end, then one poll.
  void PollAfterJobEnds() {
    FinishJob();
    while (cycle_->JobRunning()) std::this_thread::yield();
    Seconds(1);
  }

  test::ProgramHome home_;
  test::FakeWindow window_;
  std::unique_ptr<DownloadCycle> cycle_;
  std::vector<SelectedEntry> queue_;
  std::vector<DownloadJob> jobs_;
  std::vector<std::wstring> hooks_;
  ResultCode select_result_ = rc::kSelectDone;
  ResultCode job_result_ = rc::kDownloaded;
  int selections_ = 0;
  std::promise<void> release_;
  bool released_ = false;
};

TEST_F(DownloadCycleTest, AnEmptyListIsAskedEveryFourSecondsAndStaysIdle) {
  EXPECT_EQ(window_.TimerPeriod(timer_id::kCycle), 1000);
  Seconds(3);
  EXPECT_EQ(selections_, 0);
  Seconds(1);
  EXPECT_EQ(selections_, 1);
  EXPECT_EQ(cycle_->ProgramResult(), rc::kSelectDone);
  EXPECT_TRUE(window_.TimerRunning(timer_id::kCycle));
  Seconds(8);
  EXPECT_EQ(selections_, 3);
  EXPECT_TRUE(hooks_.empty()) << "no phase change while idle";
  EXPECT_FALSE(ShutdownPosted());
}

TEST_F(DownloadCycleTest, AChosenEntryTurnsBusyOnceAndRunsItsJob) {
  Queue(L"http://h/a.zip");
  Seconds(4);
  ASSERT_EQ(jobs_.size(), 1u);
  EXPECT_EQ(jobs_[0].url, L"http://h/a.zip");
  EXPECT_EQ(jobs_[0].agent, L"a");
  EXPECT_EQ(jobs_[0].authorization, L"z");
  EXPECT_EQ(jobs_[0].window, &window_);
  EXPECT_EQ(window_.title(), L"busy-title");
  EXPECT_EQ(StatusLines.StateLine.Get(), L"OPEN URL");
  EXPECT_EQ(CurrentTrayPicture(), tray_picture::kBusy);
  EXPECT_EQ(hooks_, std::vector<std::wstring>{ProgramPaths.StartDownloadHookPath});
  EXPECT_FALSE(window_.TimerRunning(timer_id::kCycle)) << "no counting while a job runs";
  EXPECT_TRUE(window_.TimerRunning(timer_id::kJobPoll));

  Seconds(3);
  EXPECT_EQ(jobs_.size(), 1u) << "the poll waits while the thread runs";
  StatusLines.ProgressLine.Set(L"1 / 2 Bytes [ 50% ]");
  PollAfterJobEnds();
  EXPECT_FALSE(window_.TimerRunning(timer_id::kJobPoll));
  EXPECT_EQ(cycle_->ProgramResult(), rc::kDownloaded);
  EXPECT_EQ(StatusLines.StateLine.Get(), L"READ URL");
  EXPECT_TRUE(StatusLines.ProgressLine.empty());
  EXPECT_TRUE(window_.TimerRunning(timer_id::kCycle));

  // The next selection finds nothing: idle again, with the idle hook, once.
  Seconds(4);
  EXPECT_EQ(window_.title(), L"idle-title");
  EXPECT_EQ(StatusLines.StateLine.Get(), L"WAITING");
  EXPECT_EQ(hooks_.size(), 2u);
  EXPECT_EQ(hooks_.back(), ProgramPaths.EndDownloadHookPath);
  Seconds(8);
  EXPECT_EQ(hooks_.size(), 2u);
}

TEST_F(DownloadCycleTest, JobResultsDecideWhetherTheProgramGoesOn) {
  struct Case {
    ResultCode result;
    bool ends;
  };
  const Case kCases[] = {{101, false}, {102, true},  {103, true},  {104, true},  {119, true},
                         {120, false}, {149, false}, {150, true},  {161, true},  {169, true},
                         {170, false}, {200, false}, {600, false}, {900, false}, {903, false}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.result);
    test::FakeWindow window;
    CycleServices services;
    services.select = [](SelectedEntry* e) {
      e->url = L"http://h/file";
      return rc::kSelectDone;
    };
    const ResultCode result = c.result;
    services.start_job = [result](DownloadJob) {
      return platform::WorkerThread::Start([result] { JobResult = result; });
    };
    services.open_hook = [](const std::wstring&) {};
    DownloadCycle cycle(window, services);
    cycle.Start();
    for (int i = 0; i < 4; ++i) cycle.OnCycleTimer();
    while (cycle.JobRunning()) std::this_thread::yield();
    cycle.OnJobPollTimer();
    EXPECT_EQ(cycle.ProgramResult(), c.result);
    bool shutdown = false;
    for (const auto& m : window.TakePosted()) shutdown |= m.message == ShutdownMsg;
    EXPECT_EQ(shutdown, c.ends);
    EXPECT_EQ(window.TimerRunning(timer_id::kCycle), !c.ends);
  }
}

TEST_F(DownloadCycleTest, ASelectionThatFailsEndsTheProgramAndABusyListWaits) {
  select_result_ = rc::kSelectInUse;
  Seconds(4);
  EXPECT_FALSE(ShutdownPosted());
  EXPECT_TRUE(window_.TimerRunning(timer_id::kCycle));
  select_result_ = rc::kSelectOpenFailed;
  Seconds(4);
  EXPECT_TRUE(ShutdownPosted());
  EXPECT_EQ(cycle_->ProgramResult(), rc::kSelectOpenFailed);
  EXPECT_FALSE(window_.TimerRunning(timer_id::kCycle));
}

TEST_F(DownloadCycleTest, PauseStopsCountingAndResumeGoesOnFromTheCountReached) {
  Seconds(2);
  PauseRequested = 1;
  Seconds(10);
  EXPECT_EQ(selections_, 0);
  EXPECT_EQ(StatusLines.StateLine.Get(), L"PAUSE");
  PauseRequested = 0;
  Seconds(1);
  EXPECT_EQ(selections_, 0);
  Seconds(1);
  EXPECT_EQ(selections_, 1);
}

TEST_F(DownloadCycleTest, PauseDuringAJobKeepsTheStateLineAndLeavesBusy) {
  Queue(L"http://h/a.zip");
  Seconds(4);
  PauseRequested = 1;
  StatusLines.StateLine.Set(L"WAITING PAUSE");
  job_result_ = rc::kUserAbort;
  PollAfterJobEnds();
  EXPECT_EQ(StatusLines.StateLine.Get(), L"WAITING PAUSE") << "not READ URL while paused";
  EXPECT_FALSE(ShutdownPosted());
  EXPECT_EQ(cycle_->BusyFlag(), 1);
  Seconds(1);
  EXPECT_EQ(StatusLines.StateLine.Get(), L"PAUSE");
}

TEST_F(DownloadCycleTest, CloseEndsFromCountingAndAfterARunningJob) {
  Seconds(1);
  CloseRequested = 1;
  Seconds(1);
  EXPECT_TRUE(ShutdownPosted());
  EXPECT_EQ(selections_, 0);
}

TEST_F(DownloadCycleTest, CloseDuringAJobEndsWithTheJobsResultAndNoIdleHook) {
  Queue(L"http://h/a.zip");
  Seconds(4);
  CloseRequested = 1;
  job_result_ = rc::kUserAbort;
  PollAfterJobEnds();
  EXPECT_TRUE(ShutdownPosted());
  EXPECT_EQ(cycle_->ProgramResult(), rc::kUserAbort);
  EXPECT_EQ(hooks_.size(), 1u) << "only the busy hook ran";
}

}  // namespace
}  // namespace zenpo
