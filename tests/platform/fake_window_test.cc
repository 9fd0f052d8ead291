#include "support/fake_window.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace zenpo::test {
namespace {

using platform::msg::kTimer;

TEST(FakeWindowTest, AdvancingTheClockDeliversDueTicksInTimeOrder) {
  FakeWindow window;
  std::vector<std::pair<std::int64_t, std::uintptr_t>> ticks;  // (fake time, id)
  int watcher_ticks = 0;
  window.SetWindowProc([&](std::uint32_t m, std::uintptr_t id, std::intptr_t) -> std::intptr_t {
    if (m != kTimer) return 0;
    ticks.emplace_back(window.now_ms(), id);
    if (id == 4 && ++watcher_ticks == 3) window.KillTimer(4);
    if (id == 1 && ticks.size() == 4) window.SetTimer(1, 1000);  // set again in its tick
    return 0;
  });
  window.SetTimer(1, 1000);
  window.SetTimer(4, 200);
  EXPECT_EQ(window.AdvanceClock(999), 3);
  EXPECT_EQ(window.now_ms(), 999);
  EXPECT_EQ(window.AdvanceClock(1001), 2);
  EXPECT_EQ(ticks, (std::vector<std::pair<std::int64_t, std::uintptr_t>>{
                       {200, 4}, {400, 4}, {600, 4}, {1000, 1}, {2000, 1}}));
  EXPECT_FALSE(window.TimerRunning(4));
  EXPECT_EQ(window.TimerPeriod(1), 1000);

  // A tick by hand leaves the timer's own schedule alone.
  EXPECT_TRUE(window.FireTimer(1));
  EXPECT_FALSE(window.FireTimer(4));
  EXPECT_EQ(window.AdvanceClock(1000), 1);
  EXPECT_EQ(ticks.back(), (std::pair<std::int64_t, std::uintptr_t>{3000, 1}));
}

TEST(FakeWindowTest, DeliversPostedMessagesInOrderIncludingThosePostedMeanwhile) {
  FakeWindow window;
  std::vector<std::uintptr_t> got;
  window.SetWindowProc([&](std::uint32_t, std::uintptr_t w, std::intptr_t) -> std::intptr_t {
    got.push_back(w);
    if (w == 1) window.Post(platform::msg::kCommand, 3, 0);
    return 0;
  });
  window.Post(platform::msg::kCommand, 1, 0);
  window.Post(platform::msg::kCommand, 2, 0);
  EXPECT_EQ(window.DeliverPosted(), 3);
  EXPECT_EQ(got, (std::vector<std::uintptr_t>{1, 2, 3}));
  EXPECT_TRUE(window.TakePosted().empty());
}

}  // namespace
}  // namespace zenpo::test
