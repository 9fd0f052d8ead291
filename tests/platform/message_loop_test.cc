#include "platform/message_loop.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <stop_token>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace zenpo::platform {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr std::uint32_t kUserMsg = 0x8002;
constexpr int kWatchdogFired = -999;

struct Delivered {
  std::uint32_t message;
  std::uintptr_t wparam;
  std::intptr_t lparam;
  bool operator==(const Delivered&) const = default;
};

// Ends a loop that never takes its quit message, so that a fault fails the test instead
// of hanging it.
class Watchdog {
 public:
  explicit Watchdog(MessageLoop& loop) : thread_([&loop](std::stop_token stop) {
    std::mutex mutex;
    std::condition_variable_any cv;
    std::unique_lock<std::mutex> lock(mutex);
    cv.wait_for(lock, stop, std::chrono::seconds(20), [] { return false; });
    if (!stop.stop_requested()) loop.PostQuit(kWatchdogFired);
  }) {}

 private:
  std::jthread thread_;
};

TEST(MessageLoopTest, PostsFromOtherThreadsWakeTheLoopAndKeepTheirOrder) {
  MessageLoop loop;
  constexpr int kThreads = 4;
  constexpr int kPerThread = 2000;
  std::vector<std::vector<std::intptr_t>> seen(kThreads);
  int total = 0;
  const std::thread::id loop_thread = std::this_thread::get_id();
  bool always_on_loop_thread = true;
  loop.SetWindowProc([&](std::uint32_t m, std::uintptr_t w, std::intptr_t l) -> std::intptr_t {
    always_on_loop_thread &= std::this_thread::get_id() == loop_thread;
    if (m != kUserMsg) return 0;
    seen[w].push_back(l);
    if (++total == kThreads * kPerThread) loop.PostQuit(42);
    return 0;
  });
  Watchdog watchdog(loop);
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([&loop, t] {
      for (int i = 0; i < kPerThread; ++i) {
        loop.Post(kUserMsg, t, i);
        // Let the loop drain and fall asleep now and then, so that wakes are needed.
        if (i % 500 == 0) std::this_thread::sleep_for(milliseconds(2));
      }
    });
  }
  EXPECT_EQ(loop.Run(), 42);
  for (auto& p : posters) p.join();
  EXPECT_TRUE(always_on_loop_thread);
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(seen[t].size(), static_cast<std::size_t>(kPerThread));
    for (int i = 0; i < kPerThread; ++i) ASSERT_EQ(seen[t][i], i) << "thread " << t;
  }
}

TEST(MessageLoopTest, QuitEndsRunWithItsValueAndLeavesLaterMessagesQueued) {
  MessageLoop loop;
  std::vector<Delivered> got;
  loop.SetWindowProc([&](std::uint32_t m, std::uintptr_t w, std::intptr_t l) -> std::intptr_t {
    got.push_back({m, w, l});
    return 0;
  });
  loop.Post(kUserMsg, 1, -1);
  loop.Post(msg::kCommand, 45003, 0);
  loop.PostQuit(-5);
  loop.Post(kUserMsg, 2, 0);
  loop.PostQuit(103);
  EXPECT_EQ(loop.Run(), -5);
  EXPECT_EQ(got, (std::vector<Delivered>{{kUserMsg, 1, -1}, {msg::kCommand, 45003, 0}}));
  EXPECT_EQ(loop.Run(), 103);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[2], (Delivered{kUserMsg, 2, 0}));
}

TEST(MessageLoopTest, RepaintRequestsCoalesceIntoOnePaintAfterTheRoundsMessages) {
  MessageLoop loop;
  std::vector<std::uint32_t> got;
  loop.SetWindowProc([&](std::uint32_t m, std::uintptr_t w, std::intptr_t) -> std::intptr_t {
    got.push_back(m == kUserMsg ? static_cast<std::uint32_t>(w) : m);
    if (m == kUserMsg && w == 2) loop.Post(kUserMsg, 3, 0);
    if (m == kUserMsg && w == 3) {
      // Asked from a handler: painted before the loop goes on to the next round.
      loop.Invalidate();
      loop.Invalidate();
      loop.PostQuit(0);
    }
    return 0;
  });
  loop.Invalidate();
  loop.Invalidate();
  loop.Post(kUserMsg, 1, 0);
  loop.Invalidate();
  loop.Post(kUserMsg, 2, 0);
  EXPECT_EQ(loop.Run(), 0);
  EXPECT_EQ(got, (std::vector<std::uint32_t>{1, 2, msg::kPaint, 3, msg::kPaint}));
}

TEST(MessageLoopTest, TimersTickByIdAndStopWhenKilledOrReplaced) {
  MessageLoop loop;
  std::map<std::uintptr_t, int> ticks;
  bool lparam_zero = true;
  loop.SetWindowProc([&](std::uint32_t m, std::uintptr_t w, std::intptr_t l) -> std::intptr_t {
    if (m != msg::kTimer) return 0;
    lparam_zero &= l == 0;
    const int n = ++ticks[w];
    if (w == 1 && n == 3) loop.KillTimer(1);  // killed from its own tick
    if (w == 2 && n == 20) loop.PostQuit(0);
    return 0;
  });
  loop.SetTimer(1, 2);
  loop.SetTimer(2, 3);
  loop.SetTimer(3, 2);
  loop.SetTimer(3, 60'000);  // setting again replaces the short period
  loop.SetTimer(4, 2);
  loop.KillTimer(4);
  Watchdog watchdog(loop);
  EXPECT_EQ(loop.Run(), 0);
  EXPECT_TRUE(lparam_zero);
  EXPECT_EQ(ticks[1], 3);
  EXPECT_EQ(ticks[2], 20);
  EXPECT_EQ(ticks.count(3), 0u);
  EXPECT_EQ(ticks.count(4), 0u);
}

TEST(MessageLoopTest, RepaintOrTimerAskedFromAnotherThreadWakesASleepingLoop) {
  for (bool by_timer : {false, true}) {
    MessageLoop loop;
    loop.SetWindowProc([&](std::uint32_t m, std::uintptr_t w, std::intptr_t) -> std::intptr_t {
      if (m == msg::kPaint || (m == msg::kTimer && w == 7)) loop.PostQuit(7);
      return 0;
    });
    loop.SetTimer(1, 60'000);  // the loop sleeps on this one
    Watchdog watchdog(loop);
    std::thread other([&loop, by_timer] {
      std::this_thread::sleep_for(milliseconds(20));
      by_timer ? loop.SetTimer(7, 2) : loop.Invalidate();
    });
    EXPECT_EQ(loop.Run(), 7) << (by_timer ? "timer" : "repaint");
    other.join();
  }
}

// A transfer asks for a repaint and steps the tray picture after every chunk: the loop
// paints a few times a second, and the last picture is still shown.
TEST(MessageLoopTest, RepaintAndPictureFloodFromAnotherThreadIsPacedAndTheLastOneShown) {
  struct CountingFrontEnd : HeadlessFrontEnd {
    std::atomic<int> pictures{0};
    bool SetTrayPicture(int index) override {
      ++pictures;
      return HeadlessFrontEnd::SetTrayPicture(index);
    }
  };
  auto front = std::make_shared<CountingFrontEnd>();
  MessageLoop loop;
  loop.SetFrontEnd(front);
  std::atomic<bool> flooding{true};
  int paints = 0;
  loop.SetWindowProc([&](std::uint32_t m, std::uintptr_t, std::intptr_t) -> std::intptr_t {
    if (m != msg::kPaint) return 0;
    ++paints;
    if (!flooding.load() && front->tray_picture() == 2) loop.PostQuit(0);
    return 0;
  });
  loop.SetTimer(1, 60'000);
  Watchdog watchdog(loop);
  std::thread other([&] {
    const auto end = steady_clock::now() + milliseconds(600);
    for (int i = 0; steady_clock::now() < end; ++i) {
      loop.SetTrayPicture(3 + i % 3);
      loop.Invalidate();
    }
    flooding = false;
    loop.SetTrayPicture(2);
  });
  EXPECT_EQ(loop.Run(), 0);
  other.join();
  EXPECT_LE(paints, 6);
  EXPECT_LE(front->pictures.load(), 6);
}

TEST(MessageLoopTest, ALateTimerFiresOnceThenKeepsItsPeriod) {
  MessageLoop loop;
  constexpr int kPeriodMs = 5;
  std::vector<steady_clock::time_point> after_stall;
  bool stalled = false;
  loop.SetWindowProc([&](std::uint32_t m, std::uintptr_t, std::intptr_t) -> std::intptr_t {
    if (m != msg::kTimer) return 0;
    if (!stalled) {
      stalled = true;
      // A handler that holds the loop for a dozen periods.
      std::this_thread::sleep_for(milliseconds(12 * kPeriodMs));
      return 0;
    }
    after_stall.push_back(steady_clock::now());
    if (after_stall.size() == 3) loop.PostQuit(0);
    return 0;
  });
  loop.SetTimer(1, kPeriodMs);
  Watchdog watchdog(loop);
  EXPECT_EQ(loop.Run(), 0);
  ASSERT_EQ(after_stall.size(), 3u);
  // Catch-up ticks would follow each other at once; the period holds between them instead.
  EXPECT_GE(after_stall[1] - after_stall[0], milliseconds(kPeriodMs - 2));
  EXPECT_GE(after_stall[2] - after_stall[1], milliseconds(kPeriodMs - 2));
}

TEST(MessageLoopTest, SignalsBecomePostedMessagesAndGiveBackTheirFormerHandling) {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction saved_hup, saved_usr1;
  ASSERT_EQ(sigaction(SIGHUP, &ignore, &saved_hup), 0);
  ASSERT_EQ(sigaction(SIGUSR1, &ignore, &saved_usr1), 0);
  {
    MessageLoop loop;
    std::vector<Delivered> got;
    loop.SetWindowProc([&](std::uint32_t m, std::uintptr_t w, std::intptr_t l) -> std::intptr_t {
      got.push_back({m, w, l});
      if (m == msg::kCommand && w == 40003) loop.PostQuit(0);
      return 0;
    });
    ASSERT_TRUE(loop.PostOnSignal(Signal::kUser1, msg::kCommand, 40005, 0));
    ASSERT_TRUE(loop.PostOnSignal(Signal::kHangUp, msg::kCommand, 40003, 0));
    {
      MessageLoop other;
      EXPECT_FALSE(other.PostOnSignal(Signal::kUser1, msg::kCommand, 1, 0));
    }
    ASSERT_EQ(raise(SIGUSR1), 0);  // waits in the pipe until Run
    Watchdog watchdog(loop);
    std::thread sender([] {
      std::this_thread::sleep_for(milliseconds(20));
      kill(getpid(), SIGHUP);  // to the process, while the loop sleeps
    });
    EXPECT_EQ(loop.Run(), 0);
    sender.join();
    EXPECT_EQ(got, (std::vector<Delivered>{{msg::kCommand, 40005, 0}, {msg::kCommand, 40003, 0}}));
  }
  struct sigaction now {};
  ASSERT_EQ(sigaction(SIGHUP, nullptr, &now), 0);
  EXPECT_EQ(now.sa_handler, SIG_IGN);
  ASSERT_EQ(sigaction(SIGUSR1, nullptr, &now), 0);
  EXPECT_EQ(now.sa_handler, SIG_IGN);
  {
    // Freed by the destroyed loop, the signal can be taken again.
    MessageLoop again;
    EXPECT_TRUE(again.PostOnSignal(Signal::kUser1, msg::kCommand, 1, 0));
  }
  sigaction(SIGHUP, &saved_hup, nullptr);
  sigaction(SIGUSR1, &saved_usr1, nullptr);
}

TEST(MessageLoopTest, SignalsArrivingWhileLoopsComeAndGoAreNeverMissedOrFatal) {
  // A signal that arrives between loops must find its former handling (ignored here);
  // one that arrives while a loop owns it must reach that loop.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction saved;
  ASSERT_EQ(sigaction(SIGUSR1, &ignore, &saved), 0);
  std::atomic<bool> stop{false};
  std::thread sender([&stop] {
    while (!stop.load()) {
      kill(getpid(), SIGUSR1);
      std::this_thread::yield();
    }
  });
  for (int i = 0; i < 300; ++i) {
    MessageLoop loop;
    loop.SetWindowProc([&](std::uint32_t m, std::uintptr_t, std::intptr_t) -> std::intptr_t {
      if (m == kUserMsg) loop.PostQuit(i);
      return 0;
    });
    ASSERT_TRUE(loop.PostOnSignal(Signal::kUser1, kUserMsg, 0, 0));
    Watchdog watchdog(loop);
    ASSERT_EQ(loop.Run(), i);
  }
  stop.store(true);
  sender.join();
  sigaction(SIGUSR1, &saved, nullptr);
}

TEST(MessageLoopTest, WatchedDescriptorsRunTheirCallbackOnTheLoopThread) {
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
  MessageLoop loop;
  std::string input;
  const std::thread::id loop_thread = std::this_thread::get_id();
  bool on_loop_thread = true;
  std::atomic<int> watch{0};
  loop.SetWindowProc([](std::uint32_t, std::uintptr_t, std::intptr_t) -> std::intptr_t { return 0; });
  Watchdog watchdog(loop);
  std::thread writer([&] {
    std::this_thread::sleep_for(milliseconds(10));
    // Watching from another thread while the loop sleeps must take effect at once.
    watch = loop.WatchDescriptor(fds[0], [&] {
      on_loop_thread &= std::this_thread::get_id() == loop_thread;
      char buf[16];
      ssize_t n;
      while ((n = read(fds[0], buf, sizeof buf)) > 0) input.append(buf, n);
      if (input.find('q') != std::string::npos) {
        loop.UnwatchDescriptor(watch.load());
        loop.PostQuit(9);
      }
    });
    std::this_thread::sleep_for(milliseconds(10));
    ASSERT_EQ(write(fds[1], "ab", 2), 2);
    std::this_thread::sleep_for(milliseconds(10));
    ASSERT_EQ(write(fds[1], "q", 1), 1);
  });
  // The writer sets watch before the loop can call back, and joins before the check.
  std::optional<int> end = loop.Run();
  writer.join();
  EXPECT_EQ(end, 9);
  EXPECT_EQ(input, "abq");
  EXPECT_TRUE(on_loop_thread);
  close(fds[0]);
  close(fds[1]);
}

TEST(MessageLoopTest, VisiblePartsGoToTheCurrentFrontEnd) {
  MessageLoop loop;
  auto headless = std::dynamic_pointer_cast<HeadlessFrontEnd>(loop.front_end());
  ASSERT_NE(headless, nullptr);
  loop.Show(true);
  loop.CheckMenuItem(40007, true);
  EXPECT_TRUE(loop.SetTrayPicture(2));
  EXPECT_TRUE(loop.IsVisible());
  EXPECT_TRUE(headless->checked(40007));
  EXPECT_EQ(headless->tray_picture(), 2);

  auto other = std::make_shared<HeadlessFrontEnd>();
  loop.SetFrontEnd(other);
  EXPECT_FALSE(loop.IsVisible());
  loop.SetTitle(L"DL");
  EXPECT_EQ(other->title(), L"DL");
  EXPECT_EQ(headless->title(), L"");
}

// A front end that registers with the loop and takes its registrations back as it ends.
class RegisteringFrontEnd : public HeadlessFrontEnd {
 public:
  explicit RegisteringFrontEnd(MessageLoop& loop) : loop_(loop) {
    if (pipe(fds_) != 0) fds_[0] = fds_[1] = -1;
    watch_ = loop_.WatchDescriptor(fds_[0], [] {});
  }
  ~RegisteringFrontEnd() override {
    loop_.UnwatchDescriptor(watch_);
    close(fds_[0]);
    close(fds_[1]);
  }

 private:
  MessageLoop& loop_;
  int fds_[2];
  int watch_ = 0;
};

TEST(MessageLoopTest, FrontEndsMayCallTheLoopWhileTheyEnd) {
  // Replaced: the old front end ends outside the loop's lock.
  {
    MessageLoop loop;
    loop.SetFrontEnd(std::make_shared<RegisteringFrontEnd>(loop));
    loop.SetFrontEnd(nullptr);
    loop.PostQuit(3);
    EXPECT_EQ(loop.Run(), 3);
  }
  // Ended with the loop: before the loop's own state goes.
  MessageLoop loop;
  loop.SetFrontEnd(std::make_shared<RegisteringFrontEnd>(loop));
}

}  // namespace
}  // namespace zenpo::platform
