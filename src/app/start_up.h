// The program's start-up routine: paths and settings, the instance slot, the start
// report, the window and its loop, and the end or the restart.
#pragma once

#include <string>

#include "report/result_codes.h"

namespace zenpo {

// The exit code of a start refused because the folder of the instance slots is not
// private to the user.
constexpr ResultCode kStartRefused = 1;

// Runs the program with its command line (the arguments joined by spaces; a capital
// "R" anywhere makes it a restart, an "M" an additional instance). Returns the exit
// code: the last result of the download cycle, or 0, 1 (kStartRefused) or 102 in the
// start-up cases.
ResultCode RunZenpo(const std::wstring& command_line);

}  // namespace zenpo
