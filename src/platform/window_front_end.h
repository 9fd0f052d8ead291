// The visible parts of the main window (title, show/hide, menu check marks, tray
// picture) as a front end supplies them, and the headless front end that only records.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/window.h"

namespace zenpo::platform {

// What a front end draws for the window. The message loop forwards the visible part of
// platform::Window to it unchanged, on the caller's thread: every method may be called
// from any thread, and a front end that draws must take the work to the loop's thread
// itself (for example through a descriptor watched by the loop).
class WindowFrontEnd {
 public:
  virtual ~WindowFrontEnd() = default;

  virtual void SetTitle(std::wstring_view title) = 0;
  virtual void Show(bool visible) = 0;
  virtual bool IsVisible() const = 0;
  virtual void BringToForeground() = 0;
  virtual void CheckMenuItem(int command_id, bool checked) = 0;
  // False when the tray refuses the picture.
  virtual bool SetTrayPicture(int index) = 0;
  // The loop-thread parts of Window, forwarded unchanged.
  virtual void DrawStatus(const StatusView& view) = 0;
  virtual void PopupMenu() = 0;
  virtual bool OpenForUser(std::wstring_view path) = 0;
};

// The front end without a terminal: nothing is drawn, the state is only kept so that it
// can be asked for. The window starts hidden, untitled, with no marks and no picture
// (tray picture -1); every tray picture is accepted. Thread-safe.
class HeadlessFrontEnd : public WindowFrontEnd {
 public:
  void SetTitle(std::wstring_view title) override;
  void Show(bool visible) override;
  bool IsVisible() const override;
  void BringToForeground() override;
  void CheckMenuItem(int command_id, bool checked) override;
  bool SetTrayPicture(int index) override;
  void DrawStatus(const StatusView& view) override;
  void PopupMenu() override {}
  bool OpenForUser(std::wstring_view) override { return false; }

  std::wstring title() const;
  bool checked(int command_id) const;
  int tray_picture() const;
  StatusView last_status() const;

 private:
  mutable std::mutex mutex_;
  std::wstring title_;
  bool visible_ = false;
  std::map<int, bool> checks_;
  int tray_picture_ = -1;
  StatusView status_;
};

}  // namespace zenpo::platform
