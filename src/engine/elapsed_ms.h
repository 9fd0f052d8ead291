// The signed time between two file times, used for the date match and the statistics.
#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace zenpo {

// Milliseconds from a to b: (b - a) as a signed count of 100-ns units, divided by 10000
// and truncated toward zero. Positive when b is later than a.
inline std::int64_t ElapsedMs(platform::FileTime a, platform::FileTime b) {
  return static_cast<std::int64_t>(b - a) / 10000;
}

}  // namespace zenpo
