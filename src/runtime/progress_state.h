// The progress of the running body transfer, shared by the engine (writer) and the
// window's once-a-second progress tick (reader), and the time and bandwidth lines
// computed from it.
#pragma once

#include <cstdint>
#include <mutex>

#include "platform/clock.h"

namespace zenpo {

// Every field is read and written only while SharedLock is held.
struct ProgressStateRecord {
  // Expected size minus the local file's size after the last chunk; negative when the
  // server announced no size.
  std::int64_t remainingBytes = 0;
  // Bytes received by this transfer, not counting what the file held before.
  std::int64_t receivedBytes = 0;
  // Local time at the start of the transfer.
  platform::FileTime transferStart = 0;
};

extern ProgressStateRecord ProgressState;

// The one lock of ProgressState and of the progress, time and bandwidth lines' updates.
extern std::mutex SharedLock;

struct TransferStatistics {
  std::int64_t elapsedMs = 0;         // from transferStart to now
  std::int64_t kbps = 0;              // received bits per millisecond; 0 until measurable
  std::int64_t remainingSeconds = 0;  // at the average rate, a started tenth counting whole
};

// The statistics of state at now. Never divides by zero: a transfer that has not yet
// taken a millisecond has no rate, and without a rate no remaining time. The remaining
// time is never negative (a transfer of unknown size has no time left to show).
TransferStatistics ComputeTransferStatistics(const ProgressStateRecord& state,
                                             platform::FileTime now);

// Writes TimeLine ("Time : %d [ -%d ] sec") and, once there is a rate, BandLine
// ("Avg.BAND : %d Kbps") from ProgressState at now. The caller holds SharedLock, so the
// engine's final statistics and the progress tick never interleave their writes.
void WriteTransferStatistics(platform::FileTime now);

// The local time now as a file time. Safe from any thread.
platform::FileTime LocalFileTimeNow();

}  // namespace zenpo
