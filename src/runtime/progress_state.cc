// ProgressState, SharedLock and the time and bandwidth lines.
#include "runtime/progress_state.h"

#include <cwchar>
#include <limits>

#include "runtime/status_lines.h"

namespace zenpo {

ProgressStateRecord ProgressState;
std::mutex SharedLock;

TransferStatistics ComputeTransferStatistics(const ProgressStateRecord& state,
                                             platform::FileTime now) {
  TransferStatistics s;
  s.elapsedMs = static_cast<std::int64_t>(now - state.transferStart) / 10000;
  if (s.elapsedMs > 0) s.kbps = state.receivedBytes * 8 / s.elapsedMs;
  if (s.kbps > 0) {
    // Remaining bytes * 8 / 1000 / kbps seconds, plus 0.9 before truncation.
    const double r =
        (static_cast<double>(state.remainingBytes) * 0.08 / static_cast<double>(s.kbps) + 9.0) *
        0.1;
    constexpr double kMax = static_cast<double>(std::numeric_limits<std::int32_t>::max());
    s.remainingSeconds = r <= 0 ? 0 : r >= kMax ? static_cast<std::int64_t>(kMax)
                                                 : static_cast<std::int64_t>(r);
  }
  return s;
}

void WriteTransferStatistics(platform::FileTime now) {
  const TransferStatistics s = ComputeTransferStatistics(ProgressState, now);
  wchar_t line[64];
  std::swprintf(line, 64, L"Time : %lld [ -%lld ] sec", static_cast<long long>(s.elapsedMs / 1000),
                static_cast<long long>(s.remainingSeconds));
  StatusLines.TimeLine.Set(line);
  if (s.kbps > 0) {
    std::swprintf(line, 64, L"Avg.BAND : %lld Kbps", static_cast<long long>(s.kbps));
    StatusLines.BandLine.Set(line);
  }
}

platform::FileTime LocalFileTimeNow() {
  return platform::CalendarToFileTime(platform::LocalCalendarTime());
}

}  // namespace zenpo
