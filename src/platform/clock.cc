// File time arithmetic, the same on every system.
#include "platform/clock.h"

namespace zenpo::platform {
namespace {

// Days from 1601-01-01 to the given civil date (proleptic Gregorian calendar).
std::int64_t DaysSince1601(int y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t days_since_0000_03_01 = era * 146097 + doe;
  // 1601-01-01 counted the same way.
  constexpr std::int64_t kEpoch1601 = 584694;
  return days_since_0000_03_01 - kEpoch1601;
}

}  // namespace

FileTime CalendarToFileTime(const CalendarTime& t) {
  const std::int64_t days = DaysSince1601(t.year, t.month, t.day);
  const std::int64_t ms =
      ((days * 24 + t.hour) * 60 + t.minute) * 60000LL + t.second * 1000LL + t.milliseconds;
  return static_cast<FileTime>(ms) * 10000ULL;
}

}  // namespace zenpo::platform
