// The POSIX front end: the terminal window when the program runs in a terminal.
#include "platform/front_end.h"

#include "platform/posix/terminal/terminal_front_end.h"

namespace zenpo::platform {

FrontEnd CreateFrontEnd(MessageLoop& loop, FrontEndOptions options) {
  TerminalOptions terminal;
  terminal.menu = std::move(options.menu);
  terminal.menu_label = std::move(options.menu_label);
  terminal.tray_message = options.tray_message;
  FrontEnd front_end;
  front_end.window = CreateTerminalFrontEnd(loop, std::move(terminal));
  front_end.restart_in_place = front_end.window != nullptr;
  return front_end;
}

}  // namespace zenpo::platform
