// The main window as the core sees it: posted messages, timers by id, repaint requests
// and the visible parts (title, show/hide, menu check marks, tray picture, popup menu).
// The message numbers are the system's own, so the window procedure and the cycle
// handlers are the same code for every front end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zenpo::platform {

namespace msg {
constexpr std::uint32_t kNull = 0x0000;
constexpr std::uint32_t kCreate = 0x0001;
constexpr std::uint32_t kPaint = 0x000F;
constexpr std::uint32_t kClose = 0x0010;
constexpr std::uint32_t kQuit = 0x0012;
constexpr std::uint32_t kCommand = 0x0111;
constexpr std::uint32_t kTimer = 0x0113;
constexpr std::uint32_t kLeftButtonDown = 0x0201;
}  // namespace msg

// The six status lines as the window shows them, for one paint.
struct StatusView {
  std::wstring state;
  bool state_alert = false;  // the state line stands out (red) while the program closes
  std::wstring progress;
  std::wstring time;
  std::wstring band;
  std::wstring url;     // wraps at its spaces
  std::wstring resume;  // right-aligned on the state line's row
};

// The tray pictures every front end offers, by index from 0.
constexpr int kTrayPictureCount = 6;

// The part of the window a transfer uses: repaints and its timer. Any thread.
class RepaintTarget {
 public:
  virtual ~RepaintTarget() = default;

  // Starts timer id with the period; setting it again replaces the period.
  virtual void SetTimer(int id, int period_ms) = 0;
  virtual void KillTimer(int id) = 0;
  // Asks for the whole window to be repainted; requests before the paint coalesce.
  virtual void Invalidate() = 0;
};

// Every method may be called from any thread unless it says otherwise; the window
// delivers posted messages and timer ticks on its own (UI) thread, in order.
class Window : public RepaintTarget {
 public:
  // Queues a message for the window procedure and wakes the loop.
  virtual void Post(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) = 0;

  virtual void SetTitle(std::wstring_view title) = 0;
  virtual void Show(bool visible) = 0;
  virtual bool IsVisible() const = 0;
  virtual void BringToForeground() = 0;
  // Sets or clears the check mark of a menu item by its command id.
  virtual void CheckMenuItem(int command_id, bool checked) = 0;
  // Shows one of the six tray pictures; false when the tray refuses it.
  virtual bool SetTrayPicture(int index) = 0;

  // Draws the status lines; the window procedure calls it when it handles the paint
  // message. Loop thread.
  virtual void DrawStatus(const StatusView& view) = 0;
  // Opens the window's menu as a popup (the tray tap while the window is hidden). Returns
  // when the menu has closed; a chosen item arrives as a command message. Loop thread.
  virtual void PopupMenu() = 0;
  // Opens a file for the user to read or edit in a way this window offers (an editor in
  // the terminal, say). False when it offers none; the caller then asks the shell.
  virtual bool OpenForUser(std::wstring_view path) = 0;
};

}  // namespace zenpo::platform
