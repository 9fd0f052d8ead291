#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "runtime/progress_state.h"
#include "runtime/run_flags.h"
#include "runtime/status_lines.h"
#include "runtime/tray_icon.h"
#include "support/fake_window.h"
#include "support/program_home.h"

namespace zenpo {
namespace {

constexpr platform::FileTime kStart = 133000000000000000ULL, kMs = 10000;

TEST(TransferStatisticsTest, RateAndRemainingTimeAtTheAverageRate) {
  const std::int64_t six_gib = 6LL << 30;
  const struct {
    std::int64_t received, remaining, elapsed_ms, kbps, seconds;
  } cases[] = {  // sizes past 4 GiB; an unknown size; no time yet
      {six_gib, six_gib, 10000, six_gib * 8 / 10000, 10}, {5000000, -5000000, 1000, 40000, 0}, {1000, 1000, 0, 0, 0}};
  for (const auto& c : cases) {
    const auto s = ComputeTransferStatistics({c.remaining, c.received, kStart}, kStart + c.elapsed_ms * kMs);
    EXPECT_EQ(s.kbps, c.kbps) << c.remaining;
    EXPECT_EQ(s.remainingSeconds, c.seconds) << c.remaining;
  }
  std::lock_guard<std::mutex> lock(SharedLock);
  ProgressState = {3000000, 1000000, kStart};
  WriteTransferStatistics(kStart + 2500 * kMs);
  EXPECT_EQ(StatusLines.TimeLine.Get() + StatusLines.BandLine.Get(), L"Time : 2 [ -8 ] secAvg.BAND : 3200 Kbps");
  StatusLines.ClearAll();
}

// The engine, the job thread and the cycle write a line while the window reads it: every
// read is one whole text, cut to the line's capacity.
TEST(StatusTextTest, ConcurrentWritersLeaveWholeTextsCutToCapacity) {
  StatusText line(status_capacity::kUrl);
  const std::wstring a(2000, L'a'), b(1500, L'b'), cut_a = a.substr(0, 1075), cut_b = b.substr(0, 1075);
  std::atomic<bool> stop{false};
  auto writer = [&](const std::wstring& text) { return std::thread([&] { while (!stop) line.Set(text); }); };
  std::thread x = writer(a), y = writer(b);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
  while (std::chrono::steady_clock::now() < end) {
    const std::wstring seen = line.Get();
    if (!seen.empty() && seen != cut_a && seen != cut_b) {
      ADD_FAILURE() << "torn text of " << seen.size() << " characters";
      break;
    }
  }
  stop = true;
  x.join(), y.join();
}

TEST(TrayIconTest, IdleBusyPausedDataFramesAndRefusals) {
  test::ProgramHome home;
  test::FakeWindow window;
  ResetTrayState(), ResetRunFlags(), SetTrayWindow(&window);
  const int chunk = tray_state::kChunkWritten;  // steps the data frames round
  for (int state : {tray_state::kBusy, tray_state::kIdle, chunk, chunk, chunk}) UpdateTrayIcon(state);
  PauseRequested = 1;  // the data frames run on, paused or not
  for (int state : {chunk, tray_state::kBusy}) UpdateTrayIcon(state);
  EXPECT_EQ(window.tray_pictures(), (std::vector<int>{0, 1, 3, 4, 5, 3, 2}));
  window.FailTray(true);
  UpdateTrayIcon(tray_state::kIdle);
  EXPECT_EQ(CurrentTrayPicture(), tray_picture::kPaused) << "a refused picture keeps the previous";
  ResetTrayState();
}

}  // namespace
}  // namespace zenpo
