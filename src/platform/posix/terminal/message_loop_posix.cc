// MessageLoop on poll(): an eventfd wakes it for posts and timer changes, a self-pipe
// carries caught signals, timers are deadlines on the steady clock. Repaints asked for by
// other threads are paced: a transfer asks for one after every chunk, and the loop paints
// a few times a second without being woken for each. The tray picture, which a transfer
// steps after every chunk too, goes to the front end with those paints.
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

// The shortest time between two paints; requests in between are merged into the next.
constexpr std::chrono::milliseconds kRepaintSpacing(250);

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
  int wake_fd = -1;
  int signal_read_fd = -1;
  int signal_write_fd = -1;
  std::atomic<bool> running{false};
  WindowProc proc;  // loop thread only

  mutable std::mutex mutex;  // guards everything below
  std::deque<PostedMessage> posted;
  std::map<int, Timer> timers;
  bool paint_pending = false;
  bool paint_now = false;        // asked for by the loop's own thread: not paced
  Clock::time_point next_paint;  // no paced paint before this
  int pending_picture = -1;      // a tray picture from another thread, shown at the paint
  // When the loop's poll() ends by itself: min while it is awake, max while it sleeps
  // with no bound.
  Clock::time_point wakes_at = Clock::time_point::min();
  std::shared_ptr<WindowFrontEnd> front_end = std::make_shared<HeadlessFrontEnd>();
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

  std::shared_ptr<WindowFrontEnd> FrontEnd() const {
    std::lock_guard<std::mutex> lock(mutex);
    return front_end;
  }

  void Dispatch(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
    if (proc) proc(message, wparam, lparam);
  }

  // Milliseconds poll() may sleep, at most max_ms when that is not negative: 0 while work
  // waits, -1 with no timer and no paint to come. Posted messages count as work only when
  // they will be delivered. Notes when the sleep ends, so a repaint request knows whether
  // to wake it.
  int SleepBudgetMs(bool deliver_posted, int max_ms) {
    std::lock_guard<std::mutex> lock(mutex);
    wakes_at = Clock::time_point::min();
    if (deliver_posted && !posted.empty()) return 0;
    Clock::time_point first = Clock::time_point::max();
    if (paint_pending) first = paint_now ? Clock::time_point::min() : next_paint;
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

  void DeliverPaint() {
    int picture;
    {
      std::lock_guard<std::mutex> lock(mutex);
      const Clock::time_point now = Clock::now();
      if (!paint_pending || (!paint_now && now < next_paint)) return;
      paint_pending = false;
      paint_now = false;
      next_paint = now + kRepaintSpacing;
      picture = std::exchange(pending_picture, -1);
    }
    if (picture >= 0) FrontEnd()->SetTrayPicture(picture);
    Dispatch(msg::kPaint, 0, 0);
  }

  // Asks for a paced paint from another thread; wakes the loop only when its sleep would
  // end after the paint is due. Called with mutex held.
  bool AskPacedPaintLocked() {
    if (paint_pending) return false;
    paint_pending = true;
    return wakes_at > std::max(Clock::now(), next_paint);
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

MessageLoop::MessageLoop() : impl_(std::make_unique<Impl>()) {
  impl_->wake_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

MessageLoop::~MessageLoop() {
  // A front end may unregister its watches and signal actions as it goes, so it goes
  // first, while the loop is still whole.
  {
    std::shared_ptr<WindowFrontEnd> last;
    {
      std::lock_guard<std::mutex> lock(impl_->mutex);
      last.swap(impl_->front_end);
    }
  }
  impl_->ReleaseSignals();
  if (impl_->signal_read_fd >= 0) close(impl_->signal_read_fd);
  if (impl_->signal_write_fd >= 0) close(impl_->signal_write_fd);
  if (impl_->wake_fd >= 0) close(impl_->wake_fd);
}

void MessageLoop::SetWindowProc(WindowProc proc) { impl_->proc = std::move(proc); }

void MessageLoop::SetFrontEnd(std::shared_ptr<WindowFrontEnd> front_end) {
  if (!front_end) front_end = std::make_shared<HeadlessFrontEnd>();
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->front_end.swap(front_end);
  }
  // The former front end may end here, and its destructor may call back into the loop.
  front_end.reset();
}

std::shared_ptr<WindowFrontEnd> MessageLoop::front_end() const { return impl_->FrontEnd(); }

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
    impl_->DeliverPaint();
  }
  running_loop = outer;
  impl_->running.store(false);
  return result;
}

bool MessageLoop::RunModal(const std::function<bool()>& done) {
  if (impl_->wake_fd < 0) return false;
  for (;;) {
    if (done()) return true;
    const bool deliver_posted = static_cast<bool>(impl_->proc);
    if (!impl_->Wait(deliver_posted, kModalRoundMs)) return false;
    if (done()) return true;
    if (deliver_posted && impl_->DeliverPosted(true)) return false;
    impl_->DeliverDueTimers();
    impl_->DeliverPaint();
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

bool MessageLoop::PostOnSignal(Signal signal, std::uint32_t message, std::uintptr_t wparam,
                               std::intptr_t lparam) {
  return CallOnSignal(signal, [this, message, wparam, lparam] { Post(message, wparam, lparam); });
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

void MessageLoop::Invalidate() {
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (running_loop == impl_.get()) {
      impl_->paint_pending = impl_->paint_now = true;
      return;
    }
    // A paint already asked for shows this change too, and a loop that is awake, or
    // whose sleep ends in time for the paint, needs no wake-up.
    if (!impl_->AskPacedPaintLocked()) return;
  }
  impl_->Wake();
}

void MessageLoop::SetTitle(std::wstring_view title) { impl_->FrontEnd()->SetTitle(title); }
void MessageLoop::Show(bool visible) { impl_->FrontEnd()->Show(visible); }
bool MessageLoop::IsVisible() const { return impl_->FrontEnd()->IsVisible(); }
void MessageLoop::BringToForeground() { impl_->FrontEnd()->BringToForeground(); }
void MessageLoop::CheckMenuItem(int command_id, bool checked) {
  impl_->FrontEnd()->CheckMenuItem(command_id, checked);
}
bool MessageLoop::SetTrayPicture(int index) {
  bool paced;
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    paced = impl_->running.load() && running_loop != impl_.get();
    if (paced) {
      // Every tray takes the six pictures; a later one replaces a picture not yet shown.
      if (index < 0 || index > 5) return false;
      impl_->pending_picture = index;
      wake = impl_->AskPacedPaintLocked();
    } else {
      impl_->pending_picture = -1;  // this picture is the newer one
    }
  }
  if (!paced) return impl_->FrontEnd()->SetTrayPicture(index);
  if (wake) impl_->Wake();
  return true;
}

void MessageLoop::DrawStatus(const StatusView& view) { impl_->FrontEnd()->DrawStatus(view); }

void MessageLoop::PopupMenu() { impl_->FrontEnd()->PopupMenu(); }

bool MessageLoop::OpenForUser(std::wstring_view path) {
  return impl_->FrontEnd()->OpenForUser(path);
}

}  // namespace zenpo::platform
