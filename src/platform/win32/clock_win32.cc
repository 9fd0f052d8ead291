// Local time on Windows: GetLocalTime.
#include <windows.h>

#include "platform/clock.h"

namespace zenpo::platform {

CalendarTime LocalCalendarTime() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  CalendarTime t;
  t.year = st.wYear;
  t.month = st.wMonth;
  t.day = st.wDay;
  t.hour = st.wHour;
  t.minute = st.wMinute;
  t.second = st.wSecond;
  t.milliseconds = st.wMilliseconds;
  return t;
}

}  // namespace zenpo::platform
