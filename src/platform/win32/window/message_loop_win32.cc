// The message loop on Windows: GetMessageW on the loop's thread, with a message-only
// window that carries the posted messages (in order, apart from the system's own),
// the window timers by id and the coalesced paint request. Repaints and tray pictures
// asked for by other threads are paced: a transfer asks for both after every chunk, and
// the loop paints a few times a second, with the latest picture, rather than once per
// chunk (a tray picture is a call into the shell's process).
#include <windows.h>

#include <atomic>
#include <chrono>
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
// The shortest time between two paced paints.
constexpr std::chrono::milliseconds kRepaintSpacing(250);
using Clock = std::chrono::steady_clock;

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

  HWND window = nullptr;
  DWORD thread = GetCurrentThreadId();
  WindowProc proc;
  std::atomic<bool> running{false};

  mutable std::mutex mutex;  // guards the fields below
  bool paint_pending = false;    // a kPaintMsg is posted or the pace timer runs
  Clock::time_point next_paint;  // no paced paint before this
  int pending_picture = -1;      // a tray picture from another thread, shown at the paint
  std::deque<Item> queue;
  std::shared_ptr<WindowFrontEnd> front_end = std::make_shared<HeadlessFrontEnd>();
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
    if (proc) proc(message, wparam, lparam);
  }

  std::shared_ptr<WindowFrontEnd> FrontEnd() const {
    std::lock_guard<std::mutex> lock(mutex);
    return front_end;
  }

  // Marks a paint as asked for; true when the caller must post kPaintMsg for it.
  // Called with mutex held.
  bool AskPaintLocked() { return !std::exchange(paint_pending, true); }

  // On the loop's thread: paints now, or once the spacing since the last paint has passed.
  void Paint() {
    int picture;
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (!paint_pending) return;  // painted already
      const Clock::time_point now = Clock::now();
      if (now < next_paint) {
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next_paint - now);
        ::SetTimer(window, kPaceTimerId, static_cast<UINT>(wait.count()), nullptr);
        return;
      }
      paint_pending = false;
      next_paint = now + kRepaintSpacing;
      picture = std::exchange(pending_picture, -1);
    }
    if (picture >= 0) FrontEnd()->SetTrayPicture(picture);
    Deliver(msg::kPaint, 0, 0);
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

MessageLoop::MessageLoop() : impl_(std::make_unique<Impl>()) {
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
  SetFrontEnd(nullptr);
  SetWindowLongPtrW(impl_->window, GWLP_USERDATA, 0);
  DestroyWindow(impl_->window);
}

void MessageLoop::SetWindowProc(WindowProc proc) { impl_->proc = std::move(proc); }

void MessageLoop::SetFrontEnd(std::shared_ptr<WindowFrontEnd> front_end) {
  if (!front_end) front_end = std::make_shared<HeadlessFrontEnd>();
  std::shared_ptr<WindowFrontEnd> old;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    old = std::move(impl_->front_end);
    impl_->front_end = std::move(front_end);
  }
  // old goes here, outside the lock: a window front end destroys its window.
}

std::shared_ptr<WindowFrontEnd> MessageLoop::front_end() const { return impl_->FrontEnd(); }

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

bool MessageLoop::PostOnSignal(Signal signal, std::uint32_t message, std::uintptr_t wparam,
                               std::intptr_t lparam) {
  return CallOnSignal(signal, [this, message, wparam, lparam] { Post(message, wparam, lparam); });
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

void MessageLoop::Invalidate() {
  bool post;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    post = impl_->AskPaintLocked();
    // The loop's own handlers repaint at once.
    if (GetCurrentThreadId() == impl_->thread) {
      impl_->next_paint = Clock::time_point::min();
      post = true;
    }
  }
  if (post) PostMessageW(impl_->window, kPaintMsg, 0, 0);
}

void MessageLoop::SetTitle(std::wstring_view title) { impl_->FrontEnd()->SetTitle(title); }
void MessageLoop::Show(bool visible) { impl_->FrontEnd()->Show(visible); }
bool MessageLoop::IsVisible() const { return impl_->FrontEnd()->IsVisible(); }
void MessageLoop::BringToForeground() { impl_->FrontEnd()->BringToForeground(); }
void MessageLoop::CheckMenuItem(int command_id, bool checked) {
  impl_->FrontEnd()->CheckMenuItem(command_id, checked);
}
bool MessageLoop::SetTrayPicture(int index) {
  bool post = false;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (!impl_->running || GetCurrentThreadId() == impl_->thread) {
      impl_->pending_picture = -1;  // this picture is the newer one
    } else {
      // Every tray takes the six pictures; a later one replaces a picture not yet shown.
      if (index < 0 || index > 5) return false;
      impl_->pending_picture = index;
      post = impl_->AskPaintLocked();
      if (!post) return true;
    }
  }
  if (!post) return impl_->FrontEnd()->SetTrayPicture(index);
  PostMessageW(impl_->window, kPaintMsg, 0, 0);
  return true;
}
void MessageLoop::DrawStatus(const StatusView& view) { impl_->FrontEnd()->DrawStatus(view); }
void MessageLoop::PopupMenu() { impl_->FrontEnd()->PopupMenu(); }
bool MessageLoop::OpenForUser(std::wstring_view path) {
  return impl_->FrontEnd()->OpenForUser(path);
}

}  // namespace zenpo::platform
