// The main window for this system, chosen by the build: the terminal window on POSIX, a
// real top-level window on Windows, the headless window where there is nothing to draw
// on. Start-up asks for it without knowing which.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/menu.h"
#include "platform/message_loop.h"

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
  // The message posted on a tap of the tray icon (the program's own, which start-up
  // names): lparam carries the mouse message.
  std::uint32_t tray_message = 0;
};

// The window without a screen: nothing is drawn, only whether it is shown is kept. It
// starts hidden; every tray picture is accepted; it offers no way to open a file.
class HeadlessWindow : public MessageLoop {
 public:
  void SetTitle(std::wstring_view) override {}
  void Show(bool visible) override { visible_ = visible; }
  bool IsVisible() const override { return visible_; }
  void BringToForeground() override {}
  void CheckMenuItem(int, bool) override {}
  void DrawStatus(const StatusView&) override {}
  void PopupMenu() override {}
  bool OpenForUser(std::wstring_view) override { return false; }

 protected:
  bool ShowTrayPicture(int) override { return true; }

 private:
  std::atomic<bool> visible_{false};
};

struct FrontEnd {
  // Never null: the headless window when there is nothing to draw on.
  std::shared_ptr<MessageLoop> window;
  // A restart replaces this process's image instead of starting a new process, so that
  // it keeps what the front end holds (the terminal).
  bool restart_in_place = false;
};

// Creates the window and installs the system's message boxes. Call it on the thread that
// will run the loop, before other threads start.
FrontEnd CreateFrontEnd(FrontEndOptions options);

}  // namespace zenpo::platform
