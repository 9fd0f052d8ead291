// The pacing of the repaints and tray pictures that other threads ask of the window,
// shared by every system's message loop.
#pragma once

#include <chrono>
#include <mutex>
#include <optional>

namespace zenpo::platform {

// A transfer asks for a repaint and a tray picture after every chunk; the loop paints a
// few times a second, with the latest picture, rather than once per chunk (a tray picture
// may be a call into another process). What the loop's own handlers ask for is painted at
// the end of their round, unpaced. Thread-safe.
class PaintPacer {
 public:
  using Clock = std::chrono::steady_clock;
  // The shortest time between two paced paints.
  static constexpr std::chrono::milliseconds kSpacing{250};

  // A repaint asked for, from the loop's own thread or another. Returns when the paint is
  // due if the loop must learn of it; nothing when a paint asked earlier shows it too.
  std::optional<Clock::time_point> AskPaint(bool from_loop);
  // A tray picture from another thread, shown with the next paint (asked for as by
  // AskPaint); a later picture replaces one not yet shown.
  std::optional<Clock::time_point> AskPicture(int index);
  // A picture shown at once is newer than the one waiting, which is dropped.
  void DropPicture();

  // When the paint asked for is due: max when none is.
  Clock::time_point Due() const;
  // Loop thread: takes the paint due by now, if any, with the picture to show before it
  // (-1 for none).
  std::optional<int> TakeDue(Clock::time_point now);

 private:
  std::optional<Clock::time_point> AskLocked(bool from_loop);

  mutable std::mutex mutex_;
  bool pending_ = false;
  bool unpaced_ = false;      // asked for by the loop's own thread
  Clock::time_point next_;    // no paced paint before this
  int picture_ = -1;          // shown with the next paint
};

}  // namespace zenpo::platform
