// The owner queries on a short-lived connection; RogueClipboardOwner on its own
// connection and window, served by a thread when it answers.
#include "support/clipboard_owners.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>

#include <atomic>
#include <thread>

namespace zenpo::test {

std::uint64_t ClipboardOwnerWindow() {
  XInitThreads();
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return 0;
  const Window owner = XGetSelectionOwner(display, XInternAtom(display, "CLIPBOARD", False));
  XCloseDisplay(display);
  return owner;
}

bool WaitForNewClipboardOwner(std::uint64_t former, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const std::uint64_t owner = ClipboardOwnerWindow();
    if (owner != 0 && owner != former) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

struct RogueClipboardOwner::State {
  Display* display = nullptr;
  Window window = 0;
  Atom clipboard = 0;
  std::atomic<bool> stop{false};
  std::thread thread;

  void Serve() {
    const Atom targets = XInternAtom(display, "TARGETS", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    while (!stop.load()) {
      pollfd fd{ConnectionNumber(display), POLLIN, 0};
      poll(&fd, 1, 20);
      while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type != SelectionRequest) continue;
        const XSelectionRequestEvent& r = event.xselectionrequest;
        XSelectionEvent answer{};
        answer.type = SelectionNotify;
        answer.requestor = r.requestor;
        answer.selection = r.selection;
        answer.target = r.target;
        answer.time = r.time;
        answer.property = None;
        if (r.target == targets) {
          const Atom offered[] = {targets, utf8};
          XChangeProperty(display, r.requestor, r.property, XA_ATOM, 32, PropModeReplace,
                          reinterpret_cast<const unsigned char*>(offered), 2);
          answer.property = r.property;
        }
        XSendEvent(display, r.requestor, False, 0, reinterpret_cast<XEvent*>(&answer));
        XFlush(display);
      }
    }
  }
};

RogueClipboardOwner::RogueClipboardOwner(Manner manner) : state_(std::make_unique<State>()) {
  XInitThreads();  // this connection runs beside the clipboard's own
  State& s = *state_;
  s.display = XOpenDisplay(nullptr);
  if (s.display == nullptr) return;
  s.window = XCreateSimpleWindow(s.display, DefaultRootWindow(s.display), 0, 0, 1, 1, 0, 0, 0);
  s.clipboard = XInternAtom(s.display, "CLIPBOARD", False);
  XSetSelectionOwner(s.display, s.clipboard, s.window, CurrentTime);
  XSync(s.display, False);
  if (manner == Manner::kRefusesText) s.thread = std::thread([&s] { s.Serve(); });
}

RogueClipboardOwner::~RogueClipboardOwner() {
  state_->stop.store(true);
  if (state_->thread.joinable()) state_->thread.join();
  if (state_->display) XCloseDisplay(state_->display);
}

bool RogueClipboardOwner::owns() const {
  return state_->display != nullptr &&
         XGetSelectionOwner(state_->display, state_->clipboard) == state_->window;
}

}  // namespace zenpo::test
