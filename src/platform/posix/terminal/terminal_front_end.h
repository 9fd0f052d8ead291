// The main window drawn in the terminal the program runs in (title row with the tray
// picture, status lines, menu, tray popup, message boxes), and how to create it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/menu.h"
#include "platform/message_loop.h"
#include "platform/window_front_end.h"

namespace zenpo::platform {

// What the window shows that the program decides.
struct TerminalOptions {
  // The menu's items in their order; sub-menus of one level, separators as MenuItem{}.
  std::vector<MenuItem> menu;
  // The label of the bottom-row button that opens the menu.
  std::wstring menu_label = L"MENU";
  // The message posted on a tap of the tray row while the window is hidden: wparam 0,
  // lparam msg::kLeftButtonDown.
  std::uint32_t tray_message = 0;
};

// Takes over the terminal on stdin and stdout for the loop's window, installs a message
// box handler that draws boxes over it, and follows the terminal's size changes (the
// loop's Signal::kWindowChange). Null when stdin or stdout is not a terminal, the
// terminal cannot place the cursor (TERM=dumb) or cannot be set up; the program then
// stays headless.
//
// Call it on the thread that will run the loop, before other threads start (it sets the
// process's character locale, UTF-8 where the environment names plain ASCII), and hand
// the result to loop.SetFrontEnd(). The window starts hidden, untitled, without a tray
// picture; nothing is drawn until the window state changes or a box is shown, so a
// start-up box stands alone on the screen.
//
// Threads: the setters (SetTitle, Show, CheckMenuItem, SetTrayPicture) may be called from
// any thread; they record the state and let the loop's thread draw it. DrawStatus,
// PopupMenu and OpenForUser belong to the loop's thread. A message box shown on the
// loop's thread (also before Run() or after it) is read from the keyboard right there;
// one shown on another thread waits until the loop's thread draws it and the user closes
// it with Enter or a click on OK. Only the loop's thread ever touches the terminal.
//
// Keys: F1 or "m" opens the menu, arrows move, Enter chooses, Esc closes; the mouse
// works on the bottom-row button, the items and OK. A chosen item posts msg::kCommand
// with its command id as wparam. Hidden, the window is the title row alone, and any key
// or a click on it is the tray tap.
//
// When the terminal hangs up (its window is closed), the front end stops reading and
// drawing: the menu closes, and boxes open then or later go the default way (a stderr
// line, no wait), so nothing waits for keys that cannot come. Ending the program on the
// hang-up signal is the caller's choice.
//
// OpenForUser: on a desktop (DISPLAY set, xdg-open on PATH) starts xdg-open detached;
// otherwise runs $VISUAL, else $EDITOR, else (for an empty or missing file, which is
// there to be written) the first of sensible-editor, editor, nano and vi, else less,
// else more on the file in this terminal, and gives the terminal back to the window
// when it ends; the loop keeps running meanwhile (nothing is drawn until then). False
// when none of them can start or one already runs.
//
// Destroying the front end (on the loop's thread, or with the loop) waits for such an
// editor to end, gives the terminal back in its former state, restores the default
// message box handler and shows boxes still waiting in the default way.
std::shared_ptr<WindowFrontEnd> CreateTerminalFrontEnd(MessageLoop& loop,
                                                       TerminalOptions options);

}  // namespace zenpo::platform
