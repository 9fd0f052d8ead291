// Local time on POSIX: clock_gettime and localtime_r.
#include <time.h>

#include "platform/clock.h"

namespace zenpo::platform {

CalendarTime LocalCalendarTime() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  struct tm tm;
  localtime_r(&ts.tv_sec, &tm);
  CalendarTime t;
  t.year = tm.tm_year + 1900;
  t.month = tm.tm_mon + 1;
  t.day = tm.tm_mday;
  t.hour = tm.tm_hour;
  t.minute = tm.tm_min;
  t.second = tm.tm_sec;
  t.milliseconds = static_cast<int>(ts.tv_nsec / 1000000);
  return t;
}

}  // namespace zenpo::platform
