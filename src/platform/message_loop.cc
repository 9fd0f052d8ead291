// What every system's MessageLoop does alike: the window procedure and the pacing of
// repaints and tray pictures.
#include "platform/message_loop.h"

namespace zenpo::platform {

void MessageLoop::SetWindowProc(WindowProc proc) { proc_ = std::move(proc); }

void MessageLoop::Deliver(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
  if (proc_) proc_(message, wparam, lparam);
}

bool MessageLoop::PostOnSignal(Signal signal, std::uint32_t message, std::uintptr_t wparam,
                               std::intptr_t lparam) {
  return CallOnSignal(signal, [this, message, wparam, lparam] { Post(message, wparam, lparam); });
}

void MessageLoop::Invalidate() {
  if (const auto due = pacer_.AskPaint(OnLoopThread())) PaintAsked(*due);
}

bool MessageLoop::SetTrayPicture(int index) {
  if (!Running() || OnLoopThread()) {
    pacer_.DropPicture();
    return ShowTrayPicture(index);
  }
  // Every tray takes the six pictures; a later one replaces a picture not yet shown.
  if (index < 0 || index >= kTrayPictureCount) return false;
  if (const auto due = pacer_.AskPicture(index)) PaintAsked(*due);
  return true;
}

PaintPacer::Clock::time_point MessageLoop::PaintIfDue() {
  const std::optional<int> picture = pacer_.TakeDue(PaintPacer::Clock::now());
  if (!picture) return pacer_.Due();
  if (*picture >= 0) ShowTrayPicture(*picture);
  Deliver(msg::kPaint, 0, 0);
  return PaintPacer::Clock::time_point::max();
}

}  // namespace zenpo::platform
