// The message loop on Windows: GetMessageW on the loop's thread, with a message-only
// window that carries the posted messages (in order, apart from the system's own),
// the window timers by id and the paint request; a paint asked for too soon after the
// last waits on a timer of its own.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <utility>

#include "platform/message_loop.h"

namespace zenpo::platform {
namespace {

constexpr UINT kWakeMsg = WM_USER + 1;    // a queued item waits
constexpr UINT kPaintMsg = WM_USER + 2;   // a repaint was asked for
constexpr UINT kSignalMsg = WM_USER + 3;  // wparam: the Signal that arrived
constexpr wchar_t kLoopClass[] = L"ZENPO_loop";
// The timer that holds back a paint asked for too soon after the last; no window timer
// of the program has this id.
constexpr UINT_PTR kPaceTimerId = 0x5A50;
using Clock = PaintPacer::Clock;

// The loop that has the console's control events (Ctrl+C, closing the console).
std::mutex signal_mutex;
HWND signal_window = nullptr;

BOOL WINAPI OnConsoleControl(DWORD event) {
  std::lock_guard<std::mutex> lock(signal_mutex);
  if (signal_window == nullptr) return FALSE;
  const Signal signal = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? Signal::kInterrupt
                                                                            : Signal::kTerminate;
  PostMessageW(signal_window, kSignalMsg, static_cast<WPARAM>(signal), 0);
  return TRUE;
}

}  // namespace

struct MessageLoop::Impl {
  // A posted message, the quit message, or work that must run on the loop's thread.
  struct Item {
    std::uint32_t message = 0;
    std::uintptr_t wparam = 0;
    std::intptr_t lparam = 0;
    bool quit = false;
    std::function<void()> action;
  };

  explicit Impl(MessageLoop& owner) : owner(owner) {}

  MessageLoop& owner;
  HWND window = nullptr;
  DWORD thread = GetCurrentThreadId();
  std::atomic<bool> running{false};

  mutable std::mutex mutex;  // guards the fields below
  std::deque<Item> queue;
  std::map<Signal, std::function<void()>> signal_actions;

  void Push(Item item) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      queue.push_back(std::move(item));
    }
    PostMessageW(window, kWakeMsg, 0, 0);
  }

  // Runs action now on the loop's thread, or queues it there from any other thread.
  void OnLoopThread(std::function<void()> action) {
    if (GetCurrentThreadId() == thread) {
      action();
    } else {
      Item item;
      item.action = std::move(action);
      Push(std::move(item));
    }
  }

  void Deliver(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
    owner.Deliver(message, wparam, lparam);
  }

  // On the loop's thread: paints now, or once the spacing since the last paint has passed.
  void Paint() {
    const Clock::time_point due = owner.PaintIfDue();
    if (due == Clock::time_point::max()) return;  // painted, or nothing asked for
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now());
    ::SetTimer(window, kPaceTimerId, static_cast<UINT>(std::max<std::int64_t>(wait.count(), 0)), nullptr);
  }

  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<Impl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
    switch (message) {
      case kWakeMsg: {
        Item item;
        {
          std::lock_guard<std::mutex> lock(self->mutex);
          if (self->queue.empty()) return 0;
          item = std::move(self->queue.front());
          self->queue.pop_front();
        }
        if (item.quit) {
          PostQuitMessage(static_cast<int>(item.wparam));
        } else if (item.action) {
          item.action();
        } else {
          self->Deliver(item.message, item.wparam, item.lparam);
        }
        return 0;
      }
      case kPaintMsg:
        self->Paint();
        return 0;
      case WM_TIMER:
        if (wparam == kPaceTimerId) {
          ::KillTimer(hwnd, kPaceTimerId);
          self->Paint();
        } else {
          self->Deliver(msg::kTimer, wparam, 0);
        }
        return 0;
      case kSignalMsg: {
        std::function<void()> action;
        {
          std::lock_guard<std::mutex> lock(self->mutex);
          auto it = self->signal_actions.find(static_cast<Signal>(wparam));
          if (it != self->signal_actions.end()) action = it->second;
        }
        if (action) action();
        return 0;
      }
      default:
        return DefWindowProcW(hwnd, message, wparam, lparam);
    }
  }
};

MessageLoop::MessageLoop() : impl_(std::make_unique<Impl>(*this)) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = Impl::Procedure;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kLoopClass;
  RegisterClassW(&wc);  // fails harmlessly when a former loop registered it
  impl_->window = CreateWindowExW(0, kLoopClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(impl_->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(impl_.get()));
}

MessageLoop::~MessageLoop() {
  {
    std::lock_guard<std::mutex> lock(signal_mutex);
    if (signal_window == impl_->window) {
      signal_window = nullptr;
      SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    }
  }
  SetWindowLongPtrW(impl_->window, GWLP_USERDATA, 0);
  DestroyWindow(impl_->window);
}

std::optional<int> MessageLoop::Run() {
  if (impl_->running || impl_->window == nullptr) return std::nullopt;
  impl_->running = true;
  MSG message;
  std::optional<int> result;
  for (;;) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == -1) break;
    if (got == 0) {
      result = static_cast<int>(message.wParam);
      break;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  impl_->running = false;
  return result;
}

void MessageLoop::PostQuit(int exit_value) {
  Impl::Item item;
  item.quit = true;
  item.wparam = static_cast<std::uintptr_t>(exit_value);
  impl_->Push(std::move(item));
}

// Windows has no descriptors to watch: other instances post window messages instead.
int MessageLoop::WatchDescriptor(int, std::function<void()>) { return 0; }
void MessageLoop::UnwatchDescriptor(int) {}

bool MessageLoop::CallOnSignal(Signal signal, std::function<void()> action) {
  // The console's control events are the only signals a Windows process gets.
  if (signal != Signal::kInterrupt && signal != Signal::kTerminate) return false;
  {
    std::lock_guard<std::mutex> lock(signal_mutex);
    if (signal_window != nullptr && signal_window != impl_->window) return false;
    if (signal_window == nullptr) SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    signal_window = impl_->window;
  }
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->signal_actions[signal] = std::move(action);
  return true;
}

void MessageLoop::Post(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
  Impl::Item item;
  item.message = message;
  item.wparam = wparam;
  item.lparam = lparam;
  impl_->Push(std::move(item));
}

// Window timers belong to the thread of their window, so other threads hand them over.
void MessageLoop::SetTimer(int id, int period_ms) {
  const UINT period = static_cast<UINT>(period_ms < kMinTimerPeriodMs ? kMinTimerPeriodMs : period_ms);
  HWND window = impl_->window;
  impl_->OnLoopThread([window, id, period] { ::SetTimer(window, static_cast<UINT_PTR>(id), period, nullptr); });
}

void MessageLoop::KillTimer(int id) {
  HWND window = impl_->window;
  impl_->OnLoopThread([window, id] { ::KillTimer(window, static_cast<UINT_PTR>(id)); });
}

bool MessageLoop::OnLoopThread() const { return GetCurrentThreadId() == impl_->thread; }

bool MessageLoop::Running() const { return impl_->running.load(); }

// Every paint goes through kPaintMsg, which waits on the pace timer when it comes early.
void MessageLoop::PaintAsked(PaintPacer::Clock::time_point) {
  PostMessageW(impl_->window, kPaintMsg, 0, 0);
}

}  // namespace zenpo::platform
