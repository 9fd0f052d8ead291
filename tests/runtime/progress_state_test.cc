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
  // 1,000,000 bytes in 2 s: 4000 bits per ms; 3,000,000 bytes left take 6 s, shown 6.
  auto s = ComputeTransferStatistics(State(1000000, 3000000), kStart + 2000 * kMs);
  EXPECT_EQ(s.elapsedMs, 2000);
  EXPECT_EQ(s.kbps, 4000);
  EXPECT_EQ(s.remainingSeconds, 6);
  // A started tenth counts as a whole second: 6.1 s shows 7, 6.05 s shows 6.
  EXPECT_EQ(ComputeTransferStatistics(State(1000000, 3050000), kStart + 2000 * kMs)
                .remainingSeconds, 7);
  EXPECT_EQ(ComputeTransferStatistics(State(1000000, 3025000), kStart + 2000 * kMs)
                .remainingSeconds, 6);
  // A complete transfer has nothing left.
  EXPECT_EQ(ComputeTransferStatistics(State(1000000, 0), kStart + 2000 * kMs).remainingSeconds,
            0);
}

TEST(TransferStatisticsTest, CountsBeyondTwoGibibytesAndNeverGoNegative) {
  // 6 GiB received in 10 s.
  const std::int64_t six_gib = 6LL << 30;
  auto s = ComputeTransferStatistics(State(six_gib, six_gib), kStart + 10000 * kMs);
  EXPECT_EQ(s.kbps, six_gib * 8 / 10000);
  EXPECT_EQ(s.remainingSeconds, 10);
  // Unknown size: remainingBytes is minus the file size, the remaining time stays 0.
  EXPECT_EQ(ComputeTransferStatistics(State(5000000, -5000000), kStart + 1000 * kMs)
                .remainingSeconds, 0);
  // No time has passed: no rate, nothing divided by zero.
  s = ComputeTransferStatistics(State(1000, 1000), kStart);
  EXPECT_EQ(s.kbps, 0);
  EXPECT_EQ(s.remainingSeconds, 0);
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
