// WorkerThread on std::thread with a state shared between the owner and the body.
#include "platform/worker_thread.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace zenpo::platform {

struct WorkerThread::State {
  std::mutex mutex;
  std::condition_variable ended_cv;
  bool ended = false;
  std::thread thread;
};

WorkerThread::WorkerThread(WorkerThread&&) noexcept = default;

WorkerThread& WorkerThread::operator=(WorkerThread&& other) noexcept {
  if (this != &other) {
    Abandon();
    state_ = std::move(other.state_);
  }
  return *this;
}

WorkerThread::~WorkerThread() { Abandon(); }

WorkerThread WorkerThread::Start(std::function<void()> body) {
  WorkerThread w;
  auto state = std::make_shared<State>();
  try {
    // The body holds the state too, so an abandoned thread never touches freed memory.
    state->thread = std::thread([state, body = std::move(body)]() mutable {
      body();
      body = nullptr;  // release what the body captured before reporting the end
      std::lock_guard<std::mutex> lock(state->mutex);
      state->ended = true;
      state->ended_cv.notify_all();
    });
  } catch (const std::system_error&) {
    return w;
  }
  w.state_ = std::move(state);
  return w;
}

bool WorkerThread::WaitFor(std::chrono::milliseconds timeout) {
  if (!state_) return true;
  std::unique_lock<std::mutex> lock(state_->mutex);
  return state_->ended_cv.wait_for(lock, timeout, [this] { return state_->ended; });
}

bool WorkerThread::HasEnded() const {
  if (!state_) return true;
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->ended;
}

std::uint32_t WorkerThread::ExitStatus() const { return HasEnded() ? 0 : kStillActive; }

void WorkerThread::Abandon() {
  if (!state_) return;
  if (state_->thread.joinable()) {
    if (HasEnded()) {
      state_->thread.join();
    } else {
      state_->thread.detach();
    }
  }
  state_.reset();
}

}  // namespace zenpo::platform
