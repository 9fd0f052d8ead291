// PaintPacer: one paint at most per spacing for the requests of other threads.
#include "platform/paint_pacer.h"

#include <algorithm>
#include <utility>

namespace zenpo::platform {

std::optional<PaintPacer::Clock::time_point> PaintPacer::AskLocked(bool from_loop) {
  if (from_loop) {
    pending_ = unpaced_ = true;
    return Clock::time_point::min();
  }
  if (pending_) return std::nullopt;
  pending_ = true;
  return std::max(Clock::now(), next_);
}

std::optional<PaintPacer::Clock::time_point> PaintPacer::AskPaint(bool from_loop) {
  std::lock_guard<std::mutex> lock(mutex_);
  return AskLocked(from_loop);
}

std::optional<PaintPacer::Clock::time_point> PaintPacer::AskPicture(int index) {
  std::lock_guard<std::mutex> lock(mutex_);
  picture_ = index;
  return AskLocked(false);
}

void PaintPacer::DropPicture() {
  std::lock_guard<std::mutex> lock(mutex_);
  picture_ = -1;
}

PaintPacer::Clock::time_point PaintPacer::Due() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!pending_) return Clock::time_point::max();
  return unpaced_ ? Clock::time_point::min() : next_;
}

std::optional<int> PaintPacer::TakeDue(Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!pending_ || (!unpaced_ && now < next_)) return std::nullopt;
  pending_ = unpaced_ = false;
  next_ = now + kSpacing;
  return std::exchange(picture_, -1);
}

}  // namespace zenpo::platform
