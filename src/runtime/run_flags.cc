// The run-time flags with their start values.
#include "runtime/run_flags.h"

namespace zenpo {

std::atomic<std::int32_t> CloseRequested{0};
std::atomic<std::int32_t> PauseRequested{0};
std::atomic<std::int32_t> NoWait{1};
std::atomic<std::int32_t> ChunkWait{0};
std::atomic<std::int32_t> ClipState{clip_state::kOff};
std::atomic<std::int32_t> ClipAppendFailure{0};

void ResetRunFlags() {
  CloseRequested = 0;
  PauseRequested = 0;
  NoWait = 1;
  ChunkWait = 0;
  ClipState = clip_state::kOff;
  ClipAppendFailure = 0;
}

}  // namespace zenpo
