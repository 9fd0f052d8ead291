#include "platform/message_loop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>
#include <vector>

namespace zenpo::platform {
namespace {

using std::chrono::milliseconds;
constexpr std::uint32_t kUserMsg = 0x8002;

// Runs the loop with proc; a watchdog posts quit -999 after 20 s, so that a loop that
// never takes its quit message fails the test instead of hanging it.
int RunWith(MessageLoop& loop, WindowProc proc) {
  loop.SetWindowProc(std::move(proc));
  std::jthread watchdog([&loop](std::stop_token stop) {
    for (int i = 0; i < 2000 && !stop.stop_requested(); ++i) std::this_thread::sleep_for(milliseconds(10));
    if (!stop.stop_requested()) loop.PostQuit(-999);
  });
  return loop.Run().value_or(-1);
}

TEST(MessageLoopTest, PostsFromOtherThreadsWakeTheLoopKeepTheirOrderAndQuitLeavesTheRest) {
  MessageLoop loop;
  constexpr int kThreads = 4, kPerThread = 1000;
  std::vector<std::vector<std::intptr_t>> seen(kThreads);
  int total = 0;
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([&loop, t] {
      for (int i = 0; i < kPerThread; ++i) {
        loop.Post(kUserMsg, t, i);
        if (i % 250 == 0) std::this_thread::sleep_for(milliseconds(2));  // let the loop sleep
      }
    });
  }
  EXPECT_EQ(RunWith(loop, [&](std::uint32_t m, std::uintptr_t w, std::intptr_t l) -> std::intptr_t {
              if (m == kUserMsg) seen[w].push_back(l);
              if (m == kUserMsg && ++total == kThreads * kPerThread) {
                loop.PostQuit(42);
                loop.Post(kUserMsg, 0, -1);  // after the quit: stays queued for the next Run
              }
              return 0;
            }), 42);
  for (auto& p : posters) p.join();
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(seen[t].size(), static_cast<std::size_t>(kPerThread));
    for (int i = 0; i < kPerThread; ++i) ASSERT_EQ(seen[t][i], i) << "thread " << t;
  }
  loop.PostQuit(7);
  EXPECT_EQ(loop.Run(), 7);
  EXPECT_EQ(seen[0].back(), -1);
}

TEST(MessageLoopTest, RepaintsCoalesceAfterTheRoundsMessagesAndTimersKeepTheirPeriod) {
  MessageLoop loop;
  std::vector<std::uint32_t> got;
  std::map<std::uintptr_t, std::vector<std::chrono::steady_clock::time_point>> ticks;
  loop.Invalidate();
  loop.Post(kUserMsg, 1, 0);
  loop.Invalidate();
  loop.SetTimer(1, 5);
  loop.SetTimer(2, 2);
  loop.KillTimer(2);
  loop.SetTimer(3, 2);
  loop.SetTimer(3, 60'000);  // setting again replaces the short period
  EXPECT_EQ(RunWith(loop, [&](std::uint32_t m, std::uintptr_t w, std::intptr_t) -> std::intptr_t {
              if (m != msg::kTimer) got.push_back(m == kUserMsg ? 1 : m);
              if (m != msg::kTimer) return 0;
              ticks[w].push_back(std::chrono::steady_clock::now());
              // The first tick holds the loop for a dozen periods: no burst of catch-up ticks.
              if (ticks[w].size() == 1) std::this_thread::sleep_for(milliseconds(60));
              if (ticks[w].size() == 4) loop.PostQuit(0);
              return 0;
            }), 0);
  EXPECT_EQ(got, (std::vector<std::uint32_t>{1, msg::kPaint}));
  EXPECT_EQ(ticks.size(), 1u) << "killed and replaced timers do not tick";
  for (int i = 2; i < 4; ++i) EXPECT_GE(ticks[1][i] - ticks[1][i - 1], milliseconds(3));
}

}  // namespace
}  // namespace zenpo::platform
