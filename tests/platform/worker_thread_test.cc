#include "platform/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>

#include "support/daemon_process.h"

namespace zenpo::platform {
namespace {

TEST(WorkerThreadTest, AnAbandonedBodyKeepsWhatItCapturedUntilItEnds) {
  std::promise<void> release;
  auto finished = std::make_shared<std::atomic<bool>>(false);
  std::weak_ptr<std::vector<char>> record_seen;
  {
    auto record = std::make_shared<std::vector<char>>(20480);
    record_seen = record;
    WorkerThread w = WorkerThread::Start([go = release.get_future().share(), record, finished] {
      go.wait();
      (*record)[0] = 1;  // writes into its own record after its owner has gone
      finished->store(true);
    });
    record.reset();
    w.Abandon();
  }
  EXPECT_FALSE(record_seen.expired()) << "freed while the body still runs";
  release.set_value();
  EXPECT_TRUE(test::Eventually([&] { return finished->load() && record_seen.expired(); }));
}

}  // namespace
}  // namespace zenpo::platform
