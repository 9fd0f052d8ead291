// MainWndProc and its commands.
#include "app/main_window.h"

#include <cstdio>
#include <thread>

#include "config/program_paths.h"
#include "config/settings.h"
#include "cycle/clipboard_watcher.h"
#include "platform/files.h"
#include "runtime/open_with_shell.h"
#include "runtime/run_flags.h"
#include "runtime/status_lines.h"
#include "runtime/tray_icon.h"
#include "runtime/window_messages.h"

namespace zenpo {
namespace {

constexpr int kClipboardTimerMs = 200;
constexpr int kWatcherWaitSteps = 50;

}  // namespace

std::vector<platform::MenuItem> MainMenu() {
  using platform::MenuItem;
  return {
      {L"HIDE", menu_cmd::kHide, {}},
      {L"PAUSE", menu_cmd::kPause, {}},
      {L"EXIT", menu_cmd::kExit, {}},
      {},
      {L"OPEN",
       0,
       {{L"iniFIle", menu_cmd::kIniFile, {}},
        {L"ListFile", menu_cmd::kListFile, {}},
        {L"LogFile", menu_cmd::kLogFile, {}}}},
      {},
      {L"CheckClip", menu_cmd::kCheckClip, {}},
      {L"NoWait", menu_cmd::kNoWait, {}},
  };
}

MainWindowServices DefaultMainWindowServices() {
  MainWindowServices s;
  s.cycle = DefaultCycleServices();
  s.start_watcher = [] { return StartClipboardWatcher(); };
  s.open_with_shell = [](const std::wstring& path) { OpenWithShell(path); };
  return s;
}

MainWindow::MainWindow(platform::Window& window, std::wstring class_name,
                       MainWindowServices services)
    : window_(window),
      class_name_(std::move(class_name)),
      services_(std::move(services)),
      cycle_(window, services_.cycle) {}

std::intptr_t MainWindow::WndProc(std::uint32_t message, std::uintptr_t wparam,
                                  std::intptr_t lparam) {
  switch (message) {
    case platform::msg::kCreate: OnCreate(); break;
    case platform::msg::kPaint: OnPaint(); break;
    case platform::msg::kClose: OnClose(); break;
    case platform::msg::kCommand: OnCommand(static_cast<int>(wparam & 0xFFFF)); break;
    case platform::msg::kTimer:
      switch (static_cast<int>(wparam)) {
        case timer_id::kCycle: cycle_.OnCycleTimer(); break;
        case timer_id::kJobPoll: cycle_.OnJobPollTimer(); break;
        case timer_id::kProgress: cycle_.OnProgressTimer(); break;
        case timer_id::kWatcherPoll: cycle_.OnWatcherPollTimer(); break;
      }
      break;
    case TrayNotifyMsg: OnTray(lparam); break;
    case ShutdownMsg: OnShutdown(); break;
    default: break;
  }
  return 0;
}

void MainWindow::PostCommand(int id) {
  window_.Post(platform::msg::kCommand, static_cast<std::uintptr_t>(id), 0);
}

void MainWindow::OnCreate() {
  if (ClipState.load() == clip_state::kWatching) {
    ClipState = clip_state::kOff;
    PostCommand(ClipStartCmd);
  }
  if (NoWait.load() != 0 || ChunkWait.load() == 0) {
    NoWait = 0;
    PostCommand(NoWaitOnCmd);
  }
  if (AppSettings.HIDE != 0) PostCommand(HideCmd);
  StatusLines.StateLine.Set(L"WAITING");
  window_.Invalidate();
  cycle_.Start();
}

void MainWindow::OnPaint() {
  platform::StatusView view;
  view.state = StatusLines.StateLine.Get();
  view.state_alert = CloseRequested.load() != 0;
  view.progress = StatusLines.ProgressLine.Get();
  view.time = StatusLines.TimeLine.Get();
  view.band = StatusLines.BandLine.Get();
  view.url = StatusLines.UrlLine.Get();
  view.resume = StatusLines.ResumeLine.Get();
  window_.DrawStatus(view);
}

void MainWindow::OnClose() {
  CloseRequested = 1;
  StatusLines.StateLine.Set(L"WAITING CLOSE");
  window_.Invalidate();
}

void MainWindow::OnCommand(int id) {
  const bool closing = CloseRequested.load() != 0;
  auto open = [this](const std::wstring& path) {
    if (!window_.OpenForUser(path)) services_.open_with_shell(path);
  };
  switch (id) {
    case menu_cmd::kExit: window_.Post(platform::msg::kClose, 0, 0); return;
    case menu_cmd::kLogFile: open(ProgramPaths.LogPath); return;
    case menu_cmd::kIniFile:
      // Without settings yet the user gets an empty file to write them into, where the
      // program reads them, rather than an error about a missing file.
      if (std::FILE* created = platform::OpenFile(ProgramPaths.SettingsPath, "ab")) {
        std::fclose(created);
      }
      open(ProgramPaths.SettingsPath);
      return;
    case menu_cmd::kListFile: open(ProgramPaths.ListPath); return;
    default: break;
  }
  if (closing) return;  // every toggle and internal command waits for nothing now
  switch (id) {
    case menu_cmd::kHide: PostCommand(AppSettings.HIDE ? ShowCmd : HideCmd); break;
    case menu_cmd::kPause: PostCommand(PauseRequested.load() ? ResumeCmd : PauseCmd); break;
    case menu_cmd::kCheckClip:
      if (ClipState.load() == clip_state::kWatching) PostCommand(ClipStopCmd);
      if (ClipState.load() == clip_state::kOff) PostCommand(ClipStartCmd);
      break;
    case menu_cmd::kNoWait: PostCommand(NoWait.load() ? NoWaitOffCmd : NoWaitOnCmd); break;
    case HideCmd:
      AppSettings.HIDE = 1;
      window_.Show(false);
      window_.CheckMenuItem(menu_cmd::kHide, true);
      break;
    case ShowCmd:
      AppSettings.HIDE = 0;
      window_.Show(true);
      window_.BringToForeground();
      window_.CheckMenuItem(menu_cmd::kHide, false);
      break;
    case PauseCmd:
      if (PauseRequested.load() == 0) SetPaused(true);
      break;
    case ResumeCmd:
      if (PauseRequested.load() == 1) SetPaused(false);
      break;
    case ClipStartCmd:
      if (ClipState.load() != clip_state::kOff || class_name_ != L"ZENPO_main_0") break;
      ClipState = clip_state::kWatching;
      window_.CheckMenuItem(menu_cmd::kCheckClip, true);
      cycle_.watcher_thread() = services_.start_watcher();
      break;
    case ClipStopCmd:
      if (ClipState.load() != clip_state::kWatching) break;
      ClipState = clip_state::kStopRequested;
      window_.CheckMenuItem(menu_cmd::kCheckClip, false);
      window_.SetTimer(timer_id::kWatcherPoll, kClipboardTimerMs);
      break;
    case NoWaitOnCmd:
      if (NoWait.load() != 0) break;
      NoWait = 1;
      window_.CheckMenuItem(menu_cmd::kNoWait, true);
      break;
    case NoWaitOffCmd:
      if (NoWait.load() != 1 || ChunkWait.load() == 0) break;
      NoWait = 0;
      window_.CheckMenuItem(menu_cmd::kNoWait, false);
      break;
    default: break;
  }
}

void MainWindow::SetPaused(bool paused) {
  PauseRequested = paused ? 1 : 0;
  StatusLines.StateLine.Set(paused ? L"WAITING PAUSE" : L"WAITING");
  window_.Invalidate();
  window_.CheckMenuItem(menu_cmd::kPause, paused);
  UpdateTrayIcon(cycle_.BusyFlag());
}

void MainWindow::OnTray(std::intptr_t mouse_message) {
  if (mouse_message != platform::msg::kLeftButtonDown) return;
  window_.BringToForeground();
  if (window_.IsVisible()) return;
  window_.PopupMenu();
  window_.Post(platform::msg::kNull, 0, 0);
}

void MainWindow::OnShutdown() {
  for (int id : {timer_id::kCycle, timer_id::kJobPoll, timer_id::kProgress, timer_id::kWatcherPoll}) {
    window_.KillTimer(id);
  }
  for (int step = 0; step < kWatcherWaitSteps && ClipState.load() != clip_state::kOff; ++step) {
    std::this_thread::sleep_for(services_.watcher_wait_step);
  }
  // A watcher still running is left to end with the process.
  cycle_.watcher_thread().Abandon();
  window_.Show(false);
  SetTrayWindow(nullptr);
  if (post_quit) post_quit(0);
}

}  // namespace zenpo
