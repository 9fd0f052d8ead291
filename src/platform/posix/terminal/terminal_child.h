// Programs the terminal front end starts that take the terminal over until they end (an
// editor or a pager); a desktop opener is started detached (platform/posix/process_posix.h).
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace zenpo::platform {

// A program that has the terminal's foreground; end_fd turns readable when it has ended.
struct ForegroundChild {
  int pid = -1;
  int end_fd = -1;
  bool took_terminal = false;  // the caller had the foreground and gave it to the child
};

// Starts argv (argv[0] a path) in a process group of its own and makes that group the
// terminal's foreground, so that the keyboard's signals reach it and not the caller. The
// child starts with default signal handling and cannot be stopped from the keyboard
// (nothing would bring it back). Nullopt when it cannot start.
std::optional<ForegroundChild> StartInForeground(const std::vector<std::string>& argv);

// Collects the ended (or, with wait, the still running) child, closes end_fd and gives
// the terminal's foreground back to the caller's process group.
void FinishForegroundChild(const ForegroundChild& child, bool wait);

// Ends the child as a closing terminal would: its process group gets SIGHUP (and
// SIGCONT, should it be stopped), so an editor can save what the user typed. Waits for it
// up to grace, then finishes it as FinishForegroundChild does; a child that ignores the
// hang-up is left running.
void HangUpForegroundChild(const ForegroundChild& child, std::chrono::milliseconds grace);

}  // namespace zenpo::platform
