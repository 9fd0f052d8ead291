// Terminal capabilities from terminfo (ncurses' setupterm), kept apart from the window's
// code because <term.h> names every capability as a macro.
#include "platform/posix/terminal/terminal_caps.h"

#include <ncursesw/curses.h>
#include <ncursesw/term.h>
#include <unistd.h>

namespace zenpo::platform {

bool TerminalCanPlaceCursor() {
  int error = 0;
  if (setupterm(nullptr, STDOUT_FILENO, &error) != OK) return false;
  const char* move_cursor = tigetstr("cup");
  const bool can = move_cursor != nullptr && move_cursor != reinterpret_cast<char*>(-1);
  del_curterm(cur_term);
  return can;
}

}  // namespace zenpo::platform
