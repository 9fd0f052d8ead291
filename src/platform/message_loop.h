// The message loop that backs the main window: posted messages, timers by id, coalesced
// repaints and the quit message, delivered in order to one window procedure on the
// loop's thread; signals and watched descriptors turned into work on that thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/window.h"
#include "platform/window_front_end.h"

namespace zenpo::platform {

// The window procedure: message number and its two parameters, the handler's result.
using WindowProc =
    std::function<std::intptr_t(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam)>;

// The process signals the program reacts to: the requests to end (interrupt, terminate,
// hang-up), the user's own request (user 1) and a change of the terminal's size.
enum class Signal { kInterrupt, kTerminate, kHangUp, kUser1, kWindowChange };

// The shortest timer period; shorter periods are taken as this one.
constexpr int kMinTimerPeriodMs = 1;

// One message loop for the main window. Run() is called on one thread, the loop's
// thread; the window procedure, timer ticks, signal actions and descriptor callbacks all
// run there, one at a time. The Window methods and the registrations may be called from
// any thread, also from inside the window procedure. The visible parts of Window go to
// the front end (headless until one is set).
//
// Each round the loop first waits (not at all when work is waiting) for a posted message,
// a due timer, a signal or a readable descriptor; then it runs the descriptor callbacks
// and signal actions, delivers the messages posted so far in order, then the timer ticks
// that are due, then one paint message (0x000F) if any repaint was asked since the last
// one. A timer that is late because a handler took long fires once and then keeps its
// period from that tick on; ticks carry msg::kTimer with the id as wparam and 0 as lparam.
class MessageLoop final : public Window {
 public:
  MessageLoop();
  ~MessageLoop() override;
  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;

  // The procedure that gets every message; without one, messages are dropped. Call it
  // before Run() or from the loop's thread.
  void SetWindowProc(WindowProc proc);

  // Replaces the front end that shows the window; null restores a fresh headless one.
  // The new front end starts from its own state.
  void SetFrontEnd(std::shared_ptr<WindowFrontEnd> front_end);
  std::shared_ptr<WindowFrontEnd> front_end() const;

  // Delivers messages until it takes the quit message (msg::kQuit, never given to the
  // window procedure) and returns its exit value (the quit message's wparam). Messages
  // posted after the quit message stay queued. Returns nullopt when the loop cannot wait
  // for messages, which the caller treats as a failed message fetch, and at once when
  // called while the loop already runs.
  std::optional<int> Run();

  // The loop of something modal on the loop's thread (the tray popup, a message box),
  // also before Run() or after it: it delivers posted messages, timer ticks, paints,
  // signal actions and descriptor callbacks as Run() does, so the window goes on while
  // the user decides, until done() holds (asked before every round). The quit message
  // ends it too and stays queued for the Run() around it. Posted messages wait while no
  // window procedure is set. True when done() ended it; false on the quit message or
  // when the loop cannot wait.
  bool RunModal(const std::function<bool()>& done);

  // Posts the quit message with the exit value behind the messages already posted.
  void PostQuit(int exit_value);

  // Runs on_readable on the loop's thread whenever the descriptor is readable (or has
  // hung up); the callback must read from it or unwatch it. Returns the watch's id (> 0),
  // 0 when fd is negative or on_readable empty. The owner keeps the descriptor open until
  // it has unwatched it; a descriptor found closed is unwatched by the loop. Always 0 on
  // Windows, which has no descriptors to watch.
  int WatchDescriptor(int fd, std::function<void()> on_readable);
  // Stops a watch; no callback of it starts afterwards. Unknown ids are ignored.
  void UnwatchDescriptor(int watch_id);

  // Runs action on the loop's thread each time the signal arrives, instead of the
  // signal's usual effect; setting it again replaces the action. A signal belongs to one
  // loop at a time: false when another loop has it, or when it cannot be caught. A
  // signal that is ignored when it is asked for (the program was started so) stays
  // ignored and the action never runs; that counts as success. The
  // signal's former handling comes back when this loop is destroyed. Signals that arrive
  // together may be delivered once.
  bool CallOnSignal(Signal signal, std::function<void()> action);
  // Posts the message each time the signal arrives (as CallOnSignal), so that a signal
  // can act as one of the window's commands.
  bool PostOnSignal(Signal signal, std::uint32_t message, std::uintptr_t wparam,
                    std::intptr_t lparam);

  // Window
  void Post(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) override;
  void SetTimer(int id, int period_ms) override;
  void KillTimer(int id) override;
  void Invalidate() override;
  void SetTitle(std::wstring_view title) override;
  void Show(bool visible) override;
  bool IsVisible() const override;
  void BringToForeground() override;
  void CheckMenuItem(int command_id, bool checked) override;
  bool SetTrayPicture(int index) override;
  void DrawStatus(const StatusView& view) override;
  void PopupMenu() override;
  bool OpenForUser(std::wstring_view path) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zenpo::platform
