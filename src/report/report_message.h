// ReportMessage: the one channel through which every part of the system logs a line and
// shows a message box, by the loglevel and msglevel thresholds of the settings.
#pragma once

#include <string>
#include <string_view>

#include "platform/clock.h"
#include "report/result_codes.h"

namespace zenpo {

// Appends "YYYY/MM/DD hh:mm:ss text" to the log file when logLevel <= loglevel, then
// shows text in a box when msgLevel <= msglevel. The timestamp is the time of the call.
// Returns 0, or 102 (rc::kLogUnusable) when the line was due but the log file could not
// be opened within 21 attempts 100 ms apart; the text is then neither logged nor shown,
// and two boxes tell the user (the failure and the log path) whatever msglevel is.
// Safe from any thread: concurrent reports never mix their texts and each log line is
// written whole. A box blocks only the reporting thread.
ResultCode ReportMessage(std::wstring_view text, int logLevel, int msgLevel);

// text with the value of every Authorization or Proxy-Authorization header line (any
// case) replaced by "***" after its scheme: "Authorization: Basic ***". Every report
// goes through it before it is logged or shown.
std::wstring MaskCredentials(std::wstring_view text);

// Whether a log file created from now on is readable by its owner alone (0600), as
// start-up decides when a credential is configured; otherwise it gets what the user's
// umask allows. An existing log keeps its permissions.
void SetPrivateLogFile(bool owner_only);

// The log line's timestamp: "%4d/%2d/%2d %2d:%2d:%2d " (spaces, never leading zeros).
std::string FormatLogTimestamp(const platform::CalendarTime& t);

// The levels of the system's four kinds of report, each given with its msgLevel.
namespace level {
constexpr int kFailure = 1;   // with kShown: logged and shown
constexpr int kOutcome = 1;   // with kNotShown: logged only
constexpr int kDetail = 2;    // with kNotShown: retries and details
constexpr int kTrace = 3;     // with kNotShown: blocking calls and threads
constexpr int kShown = 1;     // msgLevel of a failure the user must see
constexpr int kNotShown = 9;  // msgLevel of everything else
}  // namespace level

}  // namespace zenpo
