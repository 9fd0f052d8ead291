#include "platform/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>

namespace zenpo::platform {
namespace {

using std::chrono::milliseconds;

TEST(WorkerThreadTest, WaitTimesOutWhileTheBodyRunsAndSeesItsEnd) {
  std::promise<void> release;
  std::shared_future<void> go = release.get_future().share();
  WorkerThread w = WorkerThread::Start([go] { go.wait(); });
  ASSERT_TRUE(w.started());
  EXPECT_FALSE(w.WaitFor(milliseconds(20)));
  EXPECT_EQ(w.ExitStatus(), kStillActive);
  release.set_value();
  EXPECT_TRUE(w.WaitFor(milliseconds(5000)));
  EXPECT_EQ(w.ExitStatus(), 0u);
}

TEST(WorkerThreadTest, AnAbandonedBodyKeepsItsOwnStateAlive) {
  std::promise<void> release;
  std::shared_future<void> go = release.get_future().share();
  auto finished = std::make_shared<std::atomic<bool>>(false);
  {
    auto record = std::make_shared<std::vector<char>>(20480);
    WorkerThread w = WorkerThread::Start([go, record, finished] {
      go.wait();
      (*record)[0] = 1;  // writes into its own record after its owner has gone
      finished->store(true);
    });
    EXPECT_FALSE(w.WaitFor(milliseconds(10)));
    w.Abandon();
  }
  release.set_value();
  for (int i = 0; i < 500 && !finished->load(); ++i) std::this_thread::sleep_for(milliseconds(10));
  EXPECT_TRUE(finished->load());
}

TEST(WorkerThreadTest, ManyShortThreadsStartAndEndCleanly) {
  std::atomic<int> runs{0};
  for (int i = 0; i < 2000; ++i) {
    WorkerThread w = WorkerThread::Start([&runs] { ++runs; });
    // Odd rounds destroy the handle at once, racing the body's end.
    if (i % 2 == 0) {
      ASSERT_TRUE(w.WaitFor(milliseconds(5000)));
    }
  }
  for (int i = 0; i < 500 && runs.load() < 2000; ++i) std::this_thread::sleep_for(milliseconds(10));
  EXPECT_EQ(runs.load(), 2000);
}

}  // namespace
}  // namespace zenpo::platform
