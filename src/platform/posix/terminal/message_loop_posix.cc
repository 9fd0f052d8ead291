// MessageLoop on poll(): an eventfd wakes it for posts and timer changes, a self-pipe
// carries caught signals, timers are deadlines on the steady clock. A paced paint wakes
// the loop only when its sleep would end after the paint is due.
#include "platform/message_loop.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace zenpo::platform {
namespace {

using Clock = std::chrono::steady_clock;

// A modal loop looks at its end condition at least this often.
constexpr int kModalRoundMs = 250;

struct PostedMessage {
  std::uint32_t message;
  std::uintptr_t wparam;
  std::intptr_t lparam;
};

struct Timer {
  std::chrono::milliseconds period;
  Clock::time_point due;
};

// The loop that runs on this thread, if any: its own handlers' repaints are not paced.
thread_local const void* running_loop = nullptr;

int SignalNumber(Signal signal) {
  switch (signal) {
    case Signal::kInterrupt: return SIGINT;
    case Signal::kTerminate: return SIGTERM;
    case Signal::kHangUp: return SIGHUP;
    case Signal::kUser1: return SIGUSR1;
    case Signal::kWindowChange: return SIGWINCH;
  }
  return 0;
}

// Signal dispositions are process-wide, so the write end of the owning loop's signal
// pipe is kept per signal number (stored plus one: 0 means nobody catches it). The
// handler only reads atomics and calls write(), both safe inside a signal handler.
constexpr int kSignalSlots = 65;
std::atomic<int> signal_pipe_plus_one[kSignalSlots];
std::atomic<int> handlers_running{0};
std::mutex signal_owner_mutex;
const void* signal_owner[kSignalSlots];

void CatchSignal(int signo) {
  handlers_running.fetch_add(1);
  const int saved_errno = errno;
  const int fd = signo > 0 && signo < kSignalSlots ? signal_pipe_plus_one[signo].load() - 1 : -1;
  if (fd >= 0) {
    const unsigned char byte = static_cast<unsigned char>(signo);
    // A full pipe drops the byte: the same signal is already waiting there anyway.
    [[maybe_unused]] ssize_t n = write(fd, &byte, 1);
  }
  errno = saved_errno;
  handlers_running.fetch_sub(1);
}

bool MakePipe(int fds[2]) { return pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0; }

}  // namespace

struct MessageLoop::Impl {
  explicit Impl(MessageLoop& owner) : owner(owner) {}

  MessageLoop& owner;
  int wake_fd = -1;
  int signal_read_fd = -1;
  int signal_write_fd = -1;
  std::atomic<bool> running{false};

  mutable std::mutex mutex;  // guards everything below
  std::deque<PostedMessage> posted;
  std::map<int, Timer> timers;
  // When the loop's poll() ends by itself: min while it is awake, max while it sleeps
  // with no bound.
  Clock::time_point wakes_at = Clock::time_point::min();
  struct Watch {
    int fd;
    std::shared_ptr<std::function<void()>> callback;
  };
  std::map<int, Watch> watches;
  int next_watch_id = 1;
  std::map<int, std::function<void()>> signal_actions;  // by signal number
  std::map<int, struct sigaction> former_actions;

  void Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(wake_fd, &one, sizeof one);
  }

  void Dispatch(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
    owner.Deliver(message, wparam, lparam);
  }

  // Milliseconds poll() may sleep, at most max_ms when that is not negative: 0 while work
  // waits, -1 with no timer and no paint to come. Posted messages count as work only when
  // they will be delivered. Notes when the sleep ends, so a repaint request knows whether
  // to wake it.
  int SleepBudgetMs(bool deliver_posted, int max_ms) {
    std::lock_guard<std::mutex> lock(mutex);
    wakes_at = Clock::time_point::min();
    if (deliver_posted && !posted.empty()) return 0;
    Clock::time_point first = owner.pacer_.Due();
    for (const auto& [id, t] : timers) first = std::min(first, t.due);
    const Clock::time_point now = Clock::now();
    if (max_ms >= 0) first = std::min(first, now + std::chrono::milliseconds(max_ms));
    if (first == Clock::time_point::max()) {
      wakes_at = first;
      return -1;
    }
    if (first <= now) return 0;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(first - now);
    const auto budget = std::min<std::int64_t>(wait.count(), 60'000);
    wakes_at = now + std::chrono::milliseconds(budget);
    return static_cast<int>(budget);
  }

  void RunSignalActions() {
    unsigned char bytes[64];
    for (;;) {
      const ssize_t n = read(signal_read_fd, bytes, sizeof bytes);
      if (n <= 0) return;
      for (ssize_t i = 0; i < n; ++i) {
        std::function<void()> action;
        {
          std::lock_guard<std::mutex> lock(mutex);
          auto it = signal_actions.find(bytes[i]);
          if (it != signal_actions.end()) action = it->second;
        }
        if (action) action();
      }
    }
  }

  // Delivers the messages posted before this call; the exit value when it came to the
  // quit message, which ends the delivery (and stays queued with keep_quit). A modal loop
  // inside a handler may deliver some of them first.
  std::optional<int> DeliverPosted(bool keep_quit) {
    std::size_t count;
    {
      std::lock_guard<std::mutex> lock(mutex);
      count = posted.size();
    }
    for (std::size_t i = 0; i < count; ++i) {
      PostedMessage m;
      {
        std::lock_guard<std::mutex> lock(mutex);
        if (posted.empty()) break;
        m = posted.front();
        if (m.message != msg::kQuit || !keep_quit) posted.pop_front();
      }
      if (m.message == msg::kQuit) return static_cast<int>(static_cast<std::intptr_t>(m.wparam));
      Dispatch(m.message, m.wparam, m.lparam);
    }
    return std::nullopt;
  }

  void DeliverDueTimers() {
    const Clock::time_point now = Clock::now();
    std::vector<std::pair<Clock::time_point, int>> due;
    {
      std::lock_guard<std::mutex> lock(mutex);
      for (const auto& [id, t] : timers) {
        if (t.due <= now) due.emplace_back(t.due, id);
      }
    }
    std::sort(due.begin(), due.end());
    for (const auto& [when, id] : due) {
      {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = timers.find(id);
        // Killed or set again by an earlier handler of this round.
        if (it == timers.end() || it->second.due > now) continue;
        Timer& t = it->second;
        t.due += t.period;
        if (t.due <= now) t.due = now + t.period;
      }
      Dispatch(msg::kTimer, static_cast<std::uintptr_t>(id), 0);
    }
  }

  // Waits for the next round, at most max_ms when that is not negative; false when the
  // loop cannot wait.
  bool Wait(bool deliver_posted, int max_ms) {
    std::vector<pollfd> fds;
    std::vector<int> ids;
    fds.push_back({wake_fd, POLLIN, 0});
    ids.push_back(0);
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (signal_read_fd >= 0) {
        fds.push_back({signal_read_fd, POLLIN, 0});
        ids.push_back(0);
      }
      for (const auto& [id, w] : watches) {
        fds.push_back({w.fd, POLLIN, 0});
        ids.push_back(id);
      }
    }
    const int rc = poll(fds.data(), fds.size(), SleepBudgetMs(deliver_posted, max_ms));
    {
      std::lock_guard<std::mutex> lock(mutex);
      wakes_at = Clock::time_point::min();
    }
    if (rc < 0) return errno == EINTR;
    if (fds[0].revents & POLLIN) {
      std::uint64_t count;
      [[maybe_unused]] ssize_t n = read(wake_fd, &count, sizeof count);
    }
    for (std::size_t i = 1; i < fds.size(); ++i) {
      if (fds[i].revents == 0) continue;
      if (ids[i] == 0) {
        RunSignalActions();
        continue;
      }
      std::shared_ptr<std::function<void()>> callback;
      {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = watches.find(ids[i]);
        if (it == watches.end()) continue;
        // A descriptor closed under its watch would wake every round for ever.
        if (fds[i].revents & POLLNVAL) {
          watches.erase(it);
          continue;
        }
        callback = it->second.callback;
      }
      (*callback)();
    }
    return true;
  }

  void ReleaseSignals() {
    std::map<int, struct sigaction> former;
    {
      std::lock_guard<std::mutex> lock(mutex);
      former.swap(former_actions);
    }
    if (!former.empty()) {
      std::lock_guard<std::mutex> lock(signal_owner_mutex);
      for (const auto& [signo, action] : former) {
        sigaction(signo, &action, nullptr);
        signal_pipe_plus_one[signo].store(0);
        signal_owner[signo] = nullptr;
      }
    }
    // A handler that already picked up the pipe's descriptor must be done with it first.
    while (handlers_running.load() != 0) sched_yield();
  }
};

MessageLoop::MessageLoop() : impl_(std::make_unique<Impl>(*this)) {
  impl_->wake_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

// A front end has unregistered its watches and signal actions as it went, while the loop
// was still whole.
MessageLoop::~MessageLoop() {
  impl_->ReleaseSignals();
  if (impl_->signal_read_fd >= 0) close(impl_->signal_read_fd);
  if (impl_->signal_write_fd >= 0) close(impl_->signal_write_fd);
  if (impl_->wake_fd >= 0) close(impl_->wake_fd);
}

std::optional<int> MessageLoop::Run() {
  if (impl_->wake_fd < 0) return std::nullopt;
  if (impl_->running.exchange(true)) return std::nullopt;
  std::optional<int> result;
  const void* outer = running_loop;
  running_loop = impl_.get();
  for (;;) {
    if (!impl_->Wait(true, -1)) break;
    result = impl_->DeliverPosted(false);
    if (result) break;
    impl_->DeliverDueTimers();
    PaintIfDue();
  }
  running_loop = outer;
  impl_->running.store(false);
  return result;
}

bool MessageLoop::RunModal(const std::function<bool()>& done) {
  if (impl_->wake_fd < 0) return false;
  for (;;) {
    if (done()) return true;
    const bool deliver_posted = static_cast<bool>(proc_);
    if (!impl_->Wait(deliver_posted, kModalRoundMs)) return false;
    if (done()) return true;
    if (deliver_posted && impl_->DeliverPosted(true)) return false;
    impl_->DeliverDueTimers();
    PaintIfDue();
  }
}

void MessageLoop::PostQuit(int exit_value) {
  Post(msg::kQuit, static_cast<std::uintptr_t>(static_cast<std::intptr_t>(exit_value)), 0);
}

int MessageLoop::WatchDescriptor(int fd, std::function<void()> on_readable) {
  if (fd < 0 || !on_readable) return 0;
  int id;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    id = impl_->next_watch_id++;
    impl_->watches[id] = {fd, std::make_shared<std::function<void()>>(std::move(on_readable))};
  }
  impl_->Wake();  // the loop may sleep in a poll() that does not know the descriptor
  return id;
}

void MessageLoop::UnwatchDescriptor(int watch_id) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->watches.erase(watch_id);
}

bool MessageLoop::CallOnSignal(Signal signal, std::function<void()> action) {
  const int signo = SignalNumber(signal);
  if (signo <= 0 || signo >= kSignalSlots || !action) return false;
  std::lock_guard<std::mutex> owner_lock(signal_owner_mutex);
  if (signal_owner[signo] != nullptr && signal_owner[signo] != this) return false;
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (impl_->signal_read_fd < 0) {
    int fds[2];
    if (!MakePipe(fds)) return false;
    impl_->signal_read_fd = fds[0];
    impl_->signal_write_fd = fds[1];
  }
  if (signal_owner[signo] != this) {
    // A signal the program was started with ignored (nohup, a background job of a
    // script) stays ignored, as its starter asked.
    struct sigaction current;
    if (sigaction(signo, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) return true;
  }
  impl_->signal_actions[signo] = std::move(action);
  if (signal_owner[signo] == this) return true;

  struct sigaction caught;
  std::memset(&caught, 0, sizeof caught);
  caught.sa_handler = CatchSignal;
  sigemptyset(&caught.sa_mask);
  // Other threads' system calls carry on; the loop's poll() returns EINTR and retries.
  caught.sa_flags = SA_RESTART;
  struct sigaction former;
  signal_pipe_plus_one[signo].store(impl_->signal_write_fd + 1);
  if (sigaction(signo, &caught, &former) != 0) {
    signal_pipe_plus_one[signo].store(0);
    impl_->signal_actions.erase(signo);
    return false;
  }
  impl_->former_actions[signo] = former;
  signal_owner[signo] = this;
  impl_->Wake();  // a sleeping poll() does not watch the new pipe yet
  return true;
}

void MessageLoop::Post(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->posted.push_back({message, wparam, lparam});
  }
  impl_->Wake();
}

void MessageLoop::SetTimer(int id, int period_ms) {
  const std::chrono::milliseconds period(std::max(period_ms, kMinTimerPeriodMs));
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->timers[id] = {period, Clock::now() + period};
  }
  impl_->Wake();
}

void MessageLoop::KillTimer(int id) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->timers.erase(id);
}

bool MessageLoop::OnLoopThread() const { return running_loop == impl_.get(); }

bool MessageLoop::Running() const { return impl_->running.load(); }

void MessageLoop::PaintAsked(PaintPacer::Clock::time_point due) {
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    // A loop that is awake, or whose sleep ends in time for the paint, needs no wake-up.
    if (impl_->wakes_at <= due) return;
  }
  impl_->Wake();
}

}  // namespace zenpo::platform
