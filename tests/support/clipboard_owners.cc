// RogueClipboardOwner on its own connection and window, served by a thread when it answers.
#include "support/clipboard_owners.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <atomic>
#include <thread>

namespace zenpo::test {

std::uint64_t ClipboardOwnerWindow() {
  XInitThreads();
  Display* display = XOpenDisplay(nullptr);
  const Window owner = display ? XGetSelectionOwner(display, XInternAtom(display, "CLIPBOARD", False)) : 0;
  if (display) XCloseDisplay(display);
  return owner;
}

struct RogueClipboardOwner::State {
  Display* display = XOpenDisplay(nullptr);
  Window window = 0;
  Atom clipboard = 0;
  std::atomic<bool> stop{false};
  std::thread thread;

  void Serve() {
    const Atom targets = XInternAtom(display, "TARGETS", False);
    const Atom offered[] = {targets, XInternAtom(display, "UTF8_STRING", False)};
    for (XEvent event; !stop.load();) {
      if (XPending(display) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      if (XPending(display) == 0) continue;
      XNextEvent(display, &event);
      if (event.type != SelectionRequest) continue;
      const XSelectionRequestEvent& r = event.xselectionrequest;
      XEvent answer{};
      answer.xselection = {SelectionNotify, 0, True, display, r.requestor, r.selection, r.target, None, r.time};
      if (r.target == targets) {
        XChangeProperty(display, r.requestor, r.property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(offered), 2);
        answer.xselection.property = r.property;
      }
      XSendEvent(display, r.requestor, False, 0, &answer);
      XFlush(display);
    }
  }
};

RogueClipboardOwner::RogueClipboardOwner(Manner manner) {
  XInitThreads();  // this connection runs beside the clipboard's own
  State& s = *(state_ = std::make_unique<State>());
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
  return state_->display && XGetSelectionOwner(state_->display, state_->clipboard) == state_->window;
}

}  // namespace zenpo::test
