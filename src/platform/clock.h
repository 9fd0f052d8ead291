// Local calendar time and file times (100-ns units since 1 January 1601).
#pragma once

#include <cstdint>

namespace zenpo::platform {

using FileTime = std::uint64_t;

struct CalendarTime {
  int year = 1601, month = 1, day = 1;
  int hour = 0, minute = 0, second = 0, milliseconds = 0;
};

// The local date and time now. Safe from any thread.
CalendarTime LocalCalendarTime();

// The calendar fields counted as a file time, with no time-zone conversion: a local
// time gives a local file time, a GMT time (Last-Modified) a GMT file time.
FileTime CalendarToFileTime(const CalendarTime& t);

}  // namespace zenpo::platform
