#include "list/job_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "config/program_paths.h"
#include "list/list_test_home.h"
#include "list/write_entry_result.h"
#include "platform/files.h"
#include "runtime/run_flags.h"
#include "runtime/status_lines.h"
#include "runtime/window_messages.h"
#include "support/fake_window.h"

namespace zenpo {
namespace {

class JobThreadTest : public test::ListTest {
 protected:
  JobThreadTest() {
    ResetRunFlags();
    StatusLines.ClearAll();
    window_.SetTimer(timer_id::kProgress, 1000);
    services_.download = [this](const DownloadJob&) { return engine_result_; };
    services_.write_back = [](std::wstring_view url, ResultCode code) {
      return WriteEntryResult(url, code);
    };
    services_.retry_pause = std::chrono::milliseconds(100);
  }
  ~JobThreadTest() override { ResetRunFlags(); }

  DownloadJob Job() {
    DownloadJob job;
    job.url = L"http://h/f.zip";
    job.window = &window_;
    return job;
  }
  test::FakeWindow window_;
  JobServices services_;
  ResultCode engine_result_ = rc::kDownloaded;
};

TEST_F(JobThreadTest, WritesTheEnginesCodeAndStopsTheProgressTimer) {
  WriteList("899|http://h/f.zip\nhttp://h/g.zip\n");
  JobThread(Job(), services_);
  EXPECT_EQ(JobResult.load(), rc::kDownloaded);
  EXPECT_EQ(List(), "900|http://h/f.zip\nhttp://h/g.zip\n");
  EXPECT_FALSE(window_.TimerRunning(timer_id::kProgress));
  EXPECT_EQ(StatusLines.StateLine.Get(), L"WRITE RESULT");
  EXPECT_NE(Log().find(" 900\n"), std::string::npos) << "the code is logged";
}

TEST_F(JobThreadTest, AListHeldByAnAppendIsWrittenOnARetry) {
  WriteList("899|http://h/f.zip\n");
  // Another party holds the list under its lock name for half a second.
  ASSERT_TRUE(platform::RenameNoReplace(ProgramPaths.ListPath, ProgramPaths.ListLockPath));
  std::thread holder([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::FILE* f = std::fopen(ProgramPaths.listLockPathMb.c_str(), "a");
    std::fputs("http://h/appended.zip\n", f);
    std::fclose(f);
    platform::RenameNoReplace(ProgramPaths.ListLockPath, ProgramPaths.ListPath);
  });
  JobThread(Job(), services_);
  holder.join();
  EXPECT_EQ(JobResult.load(), rc::kDownloaded);
  EXPECT_EQ(List(), "900|http://h/f.zip\nhttp://h/appended.zip\n");
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(JobThreadTest, AListInUseForTooLongEndsWith161AndKeepsTheMark) {
  test::WriteFile(LockFile(), "899|http://h/f.zip\n");
  services_.retry_pause = std::chrono::milliseconds(1);
  std::atomic<int> attempts{0};
  services_.write_back = [&](std::wstring_view url, ResultCode code) {
    ++attempts;
    return WriteEntryResult(url, code);
  };
  JobThread(Job(), services_);
  EXPECT_EQ(attempts.load(), 21);
  EXPECT_EQ(JobResult.load(), rc::kWriteInUse);
  EXPECT_EQ(test::ReadFile(LockFile()), "899|http://h/f.zip\n");
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0], L"listfileの書込がタイムアウトしました");
}

TEST_F(JobThreadTest, ALogFailureOfTheEngineWritesNothing) {
  WriteList("899|http://h/f.zip\n");
  engine_result_ = rc::kLogUnusable;
  JobThread(Job(), services_);
  EXPECT_EQ(JobResult.load(), rc::kLogUnusable);
  EXPECT_EQ(List(), "899|http://h/f.zip\n");
  EXPECT_TRUE(StatusLines.StateLine.empty());
  EXPECT_FALSE(window_.TimerRunning(timer_id::kProgress));
}

TEST_F(JobThreadTest, WhilePausedTheStateLineKeepsItsTextButTheWindowRepaints) {
  WriteList("899|http://h/f.zip\n");
  PauseRequested = 1;
  StatusLines.StateLine.Set(L"WAITING PAUSE");
  engine_result_ = rc::kUserAbort;
  const int before = window_.invalidations();
  JobThread(Job(), services_);
  EXPECT_EQ(StatusLines.StateLine.Get(), L"WAITING PAUSE");
  EXPECT_GT(window_.invalidations(), before);
  EXPECT_EQ(List(), "101|http://h/f.zip\n");
}

}  // namespace
}  // namespace zenpo
