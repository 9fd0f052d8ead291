// Threads the core can wait for with a time-out and abandon, never kill.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace zenpo::platform {

// The exit status a thread reports while it still runs.
constexpr std::uint32_t kStillActive = 259;

// One started thread. The body owns whatever it captures; when the owner abandons the
// thread (or destroys this object before the body has ended), the body keeps running
// with its own state and ends on its own. Nothing ever kills a thread.
// A WorkerThread is used by one owning thread; the body runs on its own.
class WorkerThread {
 public:
  WorkerThread() = default;
  WorkerThread(WorkerThread&&) noexcept;
  WorkerThread& operator=(WorkerThread&&) noexcept;
  ~WorkerThread();

  // Starts body on a new thread. Returns an empty WorkerThread if no thread could be made.
  static WorkerThread Start(std::function<void()> body);

  bool started() const { return state_ != nullptr; }

  // Waits up to timeout for the body to end; true when it has ended.
  bool WaitFor(std::chrono::milliseconds timeout);
  bool HasEnded() const;
  // kStillActive while the body runs, 0 once it has ended.
  std::uint32_t ExitStatus() const;
  // Gives the thread up: the body runs on unobserved. Joins instead when it has ended.
  void Abandon();

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace zenpo::platform
