#include "runtime/progress_state.h"

#include <gtest/gtest.h>

#include "runtime/status_lines.h"

namespace zenpo {
namespace {

constexpr platform::FileTime kStart = 133000000000000000ULL;
constexpr platform::FileTime kMs = 10000;

ProgressStateRecord State(std::int64_t received, std::int64_t remaining) {
  ProgressStateRecord s;
  s.transferStart = kStart;
  s.receivedBytes = received;
  s.remainingBytes = remaining;
  return s;
}

TEST(TransferStatisticsTest, RateAndRemainingTimeAtTheAverageRate) {
  struct Case {
    std::int64_t received, remaining, elapsed_ms, kbps, seconds;
  };
  const std::int64_t six_gib = 6LL << 30;
  const Case cases[] = {
      // 1,000,000 bytes in 2 s: 4000 bits per ms; 3,000,000 bytes left take 6 s.
      {1000000, 3000000, 2000, 4000, 6},
      // A started tenth counts as a whole second: 6.1 s shows 7, 6.05 s shows 6.
      {1000000, 3050000, 2000, 4000, 7},
      {1000000, 3025000, 2000, 4000, 6},
      {1000000, 0, 2000, 4000, 0},
      // At 800 kbps: 10.9 s shows 10, 10.92 s shows 10, 11.025 s shows 11, nothing left 0.
      {100000, 1000000, 1000, 800, 10},
      {100000, 1002000, 1000, 800, 10},
      {100000, 1012500, 1000, 800, 11},
      {100000, 0, 1000, 800, 0},
      {six_gib, six_gib, 10000, six_gib * 8 / 10000, 10},
      // Unknown size: remainingBytes is minus the file size, the remaining time stays 0.
      {5000000, -5000000, 1000, 40000, 0},
      // No time has passed: no rate, nothing divided by zero.
      {1000, 1000, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.received) + " / " + std::to_string(c.remaining));
    const auto s = ComputeTransferStatistics(State(c.received, c.remaining),
                                             kStart + c.elapsed_ms * kMs);
    EXPECT_EQ(s.elapsedMs, c.elapsed_ms);
    EXPECT_EQ(s.kbps, c.kbps);
    EXPECT_EQ(s.remainingSeconds, c.seconds);
  }
}

TEST(TransferStatisticsTest, LinesKeepTheBandUntilThereIsARate) {
  StatusLines.BandLine.Set(L"Avg.BAND : 77 Kbps");
  {
    std::lock_guard<std::mutex> lock(SharedLock);
    ProgressState = State(1000, 0);
    WriteTransferStatistics(kStart);
  }
  EXPECT_EQ(StatusLines.TimeLine.Get(), L"Time : 0 [ -0 ] sec");
  EXPECT_EQ(StatusLines.BandLine.Get(), L"Avg.BAND : 77 Kbps");
  {
    std::lock_guard<std::mutex> lock(SharedLock);
    ProgressState = State(1000000, 3000000);
    WriteTransferStatistics(kStart + 2500 * kMs);
  }
  EXPECT_EQ(StatusLines.TimeLine.Get(), L"Time : 2 [ -8 ] sec");
  EXPECT_EQ(StatusLines.BandLine.Get(), L"Avg.BAND : 3200 Kbps");
  StatusLines.ClearAll();
}

}  // namespace
}  // namespace zenpo
