#include "platform/front_end.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>
#include <vector>

namespace zenpo::platform {
namespace {

using std::chrono::milliseconds;
constexpr std::uint32_t kUserMsg = 0x8002;

// A watchdog posts quit -999 after 20 s: a loop that misses its quit fails, not hangs.
int RunWith(MessageLoop& loop, WindowProc proc) {
  loop.SetWindowProc(std::move(proc));
  std::jthread watchdog([&loop](std::stop_token stop) {
    for (int i = 0; i < 2000 && !stop.stop_requested(); ++i) std::this_thread::sleep_for(milliseconds(10));
    if (!stop.stop_requested()) loop.PostQuit(-999);
  });
  return loop.Run().value_or(-1);
}

TEST(MessageLoopTest, PostsFromOtherThreadsWakeTheLoopKeepTheirOrderAndQuitLeavesTheRest) {
  HeadlessWindow loop;
  constexpr int kThreads = 4, kPerThread = 1000;
  std::vector<std::intptr_t> next(kThreads);  // each thread's next number
  int total = 0, out_of_order = 0;
  std::vector<std::jthread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([&loop, t] {
      for (int i = 0; i < kPerThread; ++i) {
        loop.Post(kUserMsg, t, i);
        if (i % 250 == 0) std::this_thread::sleep_for(milliseconds(2));  // let the loop sleep
      }
    });
  }
  EXPECT_EQ(RunWith(loop, [&](std::uint32_t m, std::uintptr_t w, std::intptr_t l) -> std::intptr_t {
              if (m != kUserMsg) return 0;
              out_of_order += l != next[w]++;
              if (++total == kThreads * kPerThread) {
                loop.PostQuit(42);
                loop.Post(kUserMsg, 0, kPerThread);  // after the quit: stays queued for the next Run
              }
              return 0;
            }), 42);
  loop.PostQuit(7);
  EXPECT_EQ(loop.Run(), 7);
  EXPECT_EQ(out_of_order, 0);
  EXPECT_EQ(next[0], kPerThread + 1);
}

TEST(MessageLoopTest, RepaintsCoalesceAfterTheRoundsMessagesAndTimersKeepTheirPeriod) {
  HeadlessWindow loop;
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

// A transfer repaints and steps the tray picture per chunk: paced, yet the last picture shows.
TEST(MessageLoopTest, RepaintAndPictureFloodFromAnotherThreadIsPacedAndTheLastOneShown) {
  struct CountingWindow : HeadlessWindow {
    std::atomic<int> pictures{0}, last{-1};
    bool ShowTrayPicture(int index) override { return ++pictures, last = index, true; }
  } loop;
  std::atomic<bool> running{false}, flooding{true};
  int paints = 0;
  loop.SetTimer(1, 60'000);
  loop.Post(kUserMsg, 0, 0);  // the flood starts once the loop runs
  std::thread other([&] {
    while (!running.load()) std::this_thread::yield();
    const auto end = std::chrono::steady_clock::now() + milliseconds(600);
    for (int i = 0; std::chrono::steady_clock::now() < end; ++i) {
      loop.SetTrayPicture(3 + i % 3);
      loop.Invalidate();
    }
    flooding = false;
    loop.SetTrayPicture(2);
  });
  EXPECT_EQ(RunWith(loop, [&](std::uint32_t m, std::uintptr_t, std::intptr_t) -> std::intptr_t {
              if (m == kUserMsg) running = true;
              if (m == msg::kPaint && ++paints && !flooding.load() && loop.last == 2) loop.PostQuit(0);
              return 0;
            }), 0);
  other.join();
  EXPECT_LE(paints, 6);
  EXPECT_LE(loop.pictures.load(), 6);
}

}  // namespace
}  // namespace zenpo::platform
