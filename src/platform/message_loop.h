// The message loop that backs the main window: posted messages, timers by id, paced
// repaints and tray pictures and the quit message, delivered in order to one window
// procedure on the loop's thread; signals and watched descriptors turned into work on
// that thread. Every front end is a MessageLoop that adds the visible parts.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/paint_pacer.h"
#include "platform/window.h"

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
// any thread, also from inside the window procedure. The loop's part of Window is
// written here once per system; each front end derives from it and shows the rest.
//
// Each round the loop first waits (not at all when work is waiting) for a posted message,
// a due timer, a signal or a readable descriptor; then it runs the descriptor callbacks
// and signal actions, delivers the messages posted so far in order, then the timer ticks
// that are due, then one paint message (0x000F) if any repaint was asked since the last
// one. A timer that is late because a handler took long fires once and then keeps its
// period from that tick on; ticks carry msg::kTimer with the id as wparam and 0 as lparam.
// Repaints and tray pictures that other threads ask for are paced (PaintPacer).
class MessageLoop : public Window {
 public:
  ~MessageLoop() override;
  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;

  // The procedure that gets every message; without one, messages are dropped. Call it
  // before Run() or from the loop's thread.
  void SetWindowProc(WindowProc proc);

  // Gives back what the window holds (the terminal, the system's window and its tray
  // icon) before the program starts again; from then on nothing is drawn, boxes go the
  // default way and the loop runs on as a headless one. Loop thread.
  virtual void LetGo() {}

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

  // Window: the loop's part.
  void Post(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) final;
  void SetTimer(int id, int period_ms) final;
  void KillTimer(int id) final;
  void Invalidate() final;
  // From another thread while the loop runs, the picture waits for the next paced paint;
  // otherwise it is shown at once.
  bool SetTrayPicture(int index) final;

 protected:
  MessageLoop();
  // Shows tray picture index now; false when the tray refuses it.
  virtual bool ShowTrayPicture(int index) = 0;

 private:
  // Each system's own.
  bool OnLoopThread() const;  // the caller runs this loop's handlers: its paints are not paced
  bool Running() const;
  void PaintAsked(PaintPacer::Clock::time_point due);  // tells the loop of a paint due then
  // Loop thread: paints when the paint asked for is due, with the waiting tray picture
  // first; otherwise returns when it is due (max when none is asked for).
  PaintPacer::Clock::time_point PaintIfDue();
  void Deliver(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam);

  WindowProc proc_;  // loop thread
  PaintPacer pacer_;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zenpo::platform
