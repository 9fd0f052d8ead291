// The run-time flags that the main window sets and the engine, the job thread, the cycle
// and the clipboard watcher poll.
#pragma once

#include <atomic>
#include <cstdint>

namespace zenpo {

// 0 at start; set to 1 by the close request (or the watcher's fatal errors), never
// cleared. Running downloads abort with 101 at their next checkpoint.
extern std::atomic<std::int32_t> CloseRequested;
// 0 at start; toggled by the pause and resume commands. Downloads abort with 101.
extern std::atomic<std::int32_t> PauseRequested;
// 1 at start; while 0 the engine pauses ChunkWait milliseconds after each chunk.
extern std::atomic<std::int32_t> NoWait;
// 0 at start.
extern std::atomic<std::int32_t> ChunkWait;
// 0 at start; the code of a clipboard append that failed for good (the program then
// ends), never cleared.
extern std::atomic<std::int32_t> ClipAppendFailure;
// The clipboard watcher: 0 off, 1 stop requested, 2 watching.
extern std::atomic<std::int32_t> ClipState;

namespace clip_state {
constexpr std::int32_t kOff = 0;
constexpr std::int32_t kStopRequested = 1;
constexpr std::int32_t kWatching = 2;
}  // namespace clip_state

// Whether a download must stop at its next checkpoint (close or pause requested).
inline bool AbortRequested() {
  return CloseRequested.load() != 0 || PauseRequested.load() != 0;
}

// Restores the start values of every flag (start-up and tests).
void ResetRunFlags();

}  // namespace zenpo
