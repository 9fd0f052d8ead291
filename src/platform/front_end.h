// The window's front end for this system, chosen by the build: the terminal window on
// POSIX, a real top-level window on Windows. Start-up asks for it without knowing which.
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
struct FrontEndOptions {
  // The window's class name ("ZENPO_main_" + slot): other instances find the window by it
  // where the system has window classes.
  std::wstring class_name;
  // The menu's items in their order; sub-menus of one level, separators as MenuItem{}.
  std::vector<MenuItem> menu;
  // The label of the button or drop-down that opens the menu.
  std::wstring menu_label = L"MENU";
  // The message posted on a tap of the tray icon: lparam carries the mouse message. The
  // program chooses its number.
  std::uint32_t tray_message = 0;
};

struct FrontEnd {
  // Null when there is nothing to draw on: the program then runs headless.
  std::shared_ptr<WindowFrontEnd> window;
  // A restart replaces this process's image instead of starting a new process, so that
  // it keeps what the front end holds (the terminal).
  bool restart_in_place = false;
};

// Creates the front end for the loop's window and installs the system's message boxes.
// Call it on the thread that will run the loop, before other threads start, and hand
// the window to loop.SetFrontEnd().
FrontEnd CreateFrontEnd(MessageLoop& loop, FrontEndOptions options);

}  // namespace zenpo::platform
