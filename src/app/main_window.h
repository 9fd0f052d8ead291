// The main window's procedure: create, paint, close, the menu and internal commands,
// the tray tap, the timers of the download cycle and the orderly end (ShutdownMsg).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cycle/download_cycle.h"
#include "platform/menu.h"
#include "platform/window.h"
#include "platform/worker_thread.h"

namespace zenpo {

// The window's one menu, in its order.
std::vector<platform::MenuItem> MainMenu();

// What the window calls beyond the cycle; tests replace them.
struct MainWindowServices {
  CycleServices cycle;
  // Starts the clipboard watcher thread.
  std::function<platform::WorkerThread()> start_watcher;
  // Opens a file for the user when the window offers no way of its own.
  std::function<void(const std::wstring& path)> open_with_shell;
  // How long ShutdownMsg waits for the watcher, in steps of 200 ms.
  std::chrono::milliseconds watcher_wait_step{200};
};

MainWindowServices DefaultMainWindowServices();

// Everything runs on the window's (UI) thread. The flags it sets are polled by the
// other threads.
class MainWindow {
 public:
  // class_name is the instance's window class ("ZENPO_main_0" ...): only slot 0 watches
  // the clipboard.
  MainWindow(platform::Window& window, std::wstring class_name, MainWindowServices services);

  // MainWndProc: 0 for every message it handles, 0 for the others too (the terminal has
  // no default handling).
  std::intptr_t WndProc(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam);

  DownloadCycle& cycle() { return cycle_; }
  // Called with the quit message's exit value when ShutdownMsg ends the loop.
  std::function<void(int)> post_quit;

 private:
  void OnCreate();
  void OnPaint();
  void OnClose();
  void OnCommand(int id);
  // PauseCmd and ResumeCmd: the flag, the state line, the menu mark and the tray.
  void SetPaused(bool paused);
  void OnTray(std::intptr_t mouse_message);
  void OnShutdown();
  void PostCommand(int id);

  platform::Window& window_;
  std::wstring class_name_;
  MainWindowServices services_;
  DownloadCycle cycle_;
};

}  // namespace zenpo
