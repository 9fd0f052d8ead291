// The terminal front end on ncursesw: the window, its menu and message boxes drawn on the
// loop's thread only, keys read from stdin through a descriptor the loop watches, other
// threads' changes carried to the loop's thread by an eventfd.
#include "platform/front_end.h"

#define NCURSES_NOMACROS
#include <ncursesw/curses.h>

#include <langinfo.h>
#include <locale.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/posix/process_posix.h"
#include "platform/posix/terminal/terminal_caps.h"
#include "platform/posix/terminal/terminal_child.h"
#include "platform/posix/terminal/terminal_layout.h"
#include "platform/posix/terminal/terminal_menu.h"
#include "platform/window.h"

namespace zenpo::platform {
namespace {

// How long the end of the program waits for an editor it has hung up.
constexpr std::chrono::milliseconds kChildHangUpGrace(3000);
constexpr int kBoxTextMaxWidth = 70;
constexpr short kHungUp = POLLHUP | POLLERR | POLLNVAL;

// Whether the terminal on stdin has hung up (its window closed): no key can come, and
// a descriptor that has hung up stays readable for ever.
bool InputHungUp() {
  pollfd fd{STDIN_FILENO, POLLIN, 0};
  return poll(&fd, 1, 0) > 0 && (fd.revents & kHungUp) != 0;
}

enum ColorPair : short { kRed = 1, kYellow, kLightGrey, kDarkGrey };

// A box waiting to be seen and closed, and the thread that waits for it.
struct BoxRequest {
  std::wstring text;
  bool done = false;
  int scroll = 0;  // first text row shown, when the text is taller than the screen
};

class TerminalWindow;

// The message boxes between the reporting threads and the loop's thread. It outlives
// the front end as long as a handler copy holds it, so a late box never finds it gone.
struct BoxQueue {
  std::mutex mutex;
  std::condition_variable cv;
  std::deque<std::shared_ptr<BoxRequest>> pending;  // the front one is on screen
  bool closed = false;
  bool dismissed = false;  // every box is answered at once
  int wake_fd = -1;  // also carries the window's state changes to the loop's thread
  std::atomic<std::thread::id> loop_thread;
  std::weak_ptr<TerminalWindow> owner;

  ~BoxQueue() {
    if (wake_fd >= 0) close(wake_fd);
  }
  void Wake() const {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(wake_fd, &one, sizeof one);
  }
  // True when something had woken it.
  bool Drain() const {
    std::uint64_t count;
    return read(wake_fd, &count, sizeof count) == sizeof count;
  }
  void Show(std::wstring_view text);
  // Answers the open boxes as Enter would, and every later one at once.
  void Dismiss() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      dismissed = true;
      for (const auto& box : pending) box->done = true;
      pending.clear();
    }
    cv.notify_all();
    Wake();  // the screen loses the box
  }
  // Answers box as Enter would, if it is still open.
  void Answer(const std::shared_ptr<BoxRequest>& box) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (box->done) return;
      box->done = true;
      std::erase(pending, box);
    }
    cv.notify_all();
  }
};

// What other threads may change; drawn by the loop's thread.
struct WindowState {
  std::wstring title;
  bool visible = false;
  std::map<int, bool> checks;
  int picture = -1;
  StatusView view;
};

// The window in the terminal on stdin and stdout. Start() takes the terminal over,
// installs a message box handler that draws boxes over it, and follows the terminal's
// size changes (Signal::kWindowChange); it fails when stdin or stdout is not a terminal,
// the terminal cannot place the cursor (TERM=dumb) or cannot be set up, and the program
// then stays headless.
//
// Start() runs on the thread that will run the loop, before other threads start (it sets
// the process's character locale, UTF-8 where the environment names plain ASCII). The
// window starts hidden, untitled, without a tray picture; nothing is drawn until the
// window state changes or a box is shown, so a start-up box stands alone on the screen.
//
// Threads: the setters (SetTitle, Show, CheckMenuItem, ShowTrayPicture) may be called from
// any thread; they record the state and let the loop's thread draw it. DrawStatus,
// PopupMenu and OpenForUser belong to the loop's thread. A message box shown on the
// loop's thread (also before Run() or after it) is read from the keyboard right there;
// one shown on another thread waits until the loop's thread draws it and the user closes
// it with Enter or a click on OK. Only the loop's thread ever touches the terminal.
//
// Keys: F1 or "m" opens the menu, arrows move, Enter chooses, Esc closes; the mouse
// works on the bottom-row button, the items and OK. A chosen item posts msg::kCommand
// with its command id as wparam. Hidden, the window is the title row alone, and any key
// or a click on it is the tray tap.
//
// When the terminal hangs up (its window is closed), the front end stops reading and
// drawing: the menu closes, and boxes open then or later go the default way (a stderr
// line, no wait), so nothing waits for keys that cannot come. Ending the program on the
// hang-up signal is the caller's choice.
//
// OpenForUser: on a desktop (DISPLAY set, xdg-open on PATH) starts xdg-open detached;
// otherwise runs $VISUAL, else $EDITOR, else (for an empty or missing file, which is
// there to be written) the first of sensible-editor, editor, nano and vi, else less,
// else more on the file in this terminal, and gives the terminal back to the window
// when it ends; the loop keeps running meanwhile (nothing is drawn until then). False
// when none of them can start or one already runs.
//
// LetGo() and the destructor (on the loop's thread) wait for such an editor to end, give
// the terminal back in its former state, restore the default message box handler and
// show boxes still waiting in the default way.
class TerminalWindow final : public MessageLoop,
                             public std::enable_shared_from_this<TerminalWindow> {
 public:
  explicit TerminalWindow(FrontEndOptions options)
      : options_(std::move(options)), menu_(options_.menu), boxes_(std::make_shared<BoxQueue>()) {}
  ~TerminalWindow() override { LetGo(); }

  // Sets up the terminal; false leaves nothing behind.
  bool Start();
  void LetGo() override;

  void SetTitle(std::wstring_view title) override;
  void Show(bool visible) override;
  bool IsVisible() const override;
  void BringToForeground() override {}
  void CheckMenuItem(int command_id, bool checked) override;
  void DrawStatus(const StatusView& view) override;
  void PopupMenu() override;
  bool OpenForUser(std::wstring_view path) override;

  // Reads the keyboard here, on the loop's thread, until the box is closed.
  void RunBoxModally(const std::shared_ptr<BoxRequest>& box);

 private:
  // Everything below with "Locked" in its name needs curses_mutex_.
  void ChangeState(const std::function<void(WindowState&)>& change);
  void OnWake();
  void OnInput();
  void OnResize();
  void OnChildEnded();
  void RunNestedUntil(const std::function<bool()>& done);

  void FollowSizeLocked();
  // Handles the keys read so far; stops after a tray tap, and when done says so.
  void DrainInputLocked(const std::function<bool()>* done);
  // False when the key was the tray tap, after which the rest waits for the popup.
  bool HandleKeyLocked(int status, wint_t key);
  void HandleMouseLocked(const WindowState& state);
  bool HandleBoxKeyLocked(int status, wint_t key);
  void CloseFrontBoxLocked();
  void ChooseLocked(int command_id);
  void StartChildLocked(const std::vector<std::string>& argv);
  // The terminal hung up: boxes and the menu stop waiting for keys that cannot come.
  void LoseTerminalLocked();
  void EndChildLocked(bool wait);

  void RedrawLocked();
  void DrawTitleRowLocked(const WindowState& state);
  void DrawStatusLocked(const WindowState& state);
  void DrawBottomRowLocked();
  void DrawMenuLocked(const WindowState& state);
  void DrawMenuBoxLocked(const MenuBox& box, const std::vector<MenuItem>& items, int highlighted,
                         const WindowState& state);
  void DrawBoxLocked(const std::shared_ptr<BoxRequest>& box);
  void PutText(int row, int column, std::wstring_view text, int columns, attr_t attrs,
               short pair = 0);

  bool ShowTrayPicture(int index) override;

  const FrontEndOptions options_;

  std::mutex curses_mutex_;  // every curses call, and the loop-thread state below
  SCREEN* screen_ = nullptr;
  MenuNavigator menu_;
  bool popup_ = false;  // the menu opened over the tray row rather than from the button
  bool drawn_ = false;  // something asked for the window: until then only boxes show
  bool gone_ = false;   // the terminal hung up: nothing is read or drawn any more
  std::optional<ForegroundChild> child_;
  // The end condition of the innermost modal loop; keys stop being read once it holds.
  const std::function<bool()>* modal_done_ = nullptr;
  MenuNavigator::Placement menu_placement_;
  int box_ok_row_ = -1, box_ok_left_ = 0, box_ok_width_ = 0;
  int box_rows_ = 0;  // text rows the shown box has room for
  bool colors_ = false;
  bool handler_installed_ = false;

  mutable std::mutex state_mutex_;  // after curses_mutex_ when both are taken
  WindowState state_;

  std::shared_ptr<BoxQueue> boxes_;
  int input_watch_ = 0;
  int wake_watch_ = 0;
  int child_watch_ = 0;
};

// --- message boxes -----------------------------------------------------------------

void BoxQueue::Show(std::wstring_view text) {
  auto box = std::make_shared<BoxRequest>();
  box->text = text;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (dismissed) {
      box->done = true;
    } else if (!closed) {
      pending.push_back(box);
    }
  }
  Wake();
  if (std::this_thread::get_id() == loop_thread.load()) {
    if (auto front_end = owner.lock()) front_end->RunBoxModally(box);
  }
  bool shown;
  {
    std::unique_lock<std::mutex> lock(mutex);
    cv.wait(lock, [&] { return box->done || closed; });
    shown = box->done;
  }
  // The front end went before the user saw the box: the default way keeps the text.
  if (!shown) ShowMessageBox(text);
}

void TerminalWindow::RunBoxModally(const std::shared_ptr<BoxRequest>& box) {
  RunNestedUntil([&] {
    std::lock_guard<std::mutex> lock(boxes_->mutex);
    return box->done || boxes_->closed;
  });
  // The loop is ending under the box (its quit message came): the box goes with it, as
  // a platform's box does.
  boxes_->Answer(box);
}

// --- set-up and end ----------------------------------------------------------------

void KnowBothArrowForms();
void RestoreKeypadMode();

// ncursesw draws wide text in the locale's character set; the plain "C" locale has none
// beyond ASCII, so UTF-8 stands in for it (as for the program's files).
void UseCharacterLocale() {
  setlocale(LC_CTYPE, "");
  const char* codeset = nl_langinfo(CODESET);
  if (codeset == nullptr || std::strcmp(codeset, "ANSI_X3.4-1968") == 0 ||
      std::strcmp(codeset, "ASCII") == 0 || std::strcmp(codeset, "US-ASCII") == 0) {
    if (setlocale(LC_CTYPE, "C.UTF-8") == nullptr) setlocale(LC_CTYPE, "C.utf8");
  }
}

bool TerminalWindow::Start() {
  if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) return false;
  boxes_->wake_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (boxes_->wake_fd < 0) return false;
  UseCharacterLocale();

  std::weak_ptr<TerminalWindow> weak = weak_from_this();
  // Before curses starts, so that it leaves the size signal to the loop.
  CallOnSignal(Signal::kWindowChange, [weak] {
    if (auto self = weak.lock()) self->OnResize();
  });
  {
    std::lock_guard<std::mutex> lock(curses_mutex_);
    // A terminal that cannot place the cursor would get every row on one line.
    if (!TerminalCanPlaceCursor()) return false;
    screen_ = newterm(nullptr, stdout, stdin);
    if (screen_ == nullptr) return false;
    set_term(screen_);
    cbreak();
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    KnowBothArrowForms();
    nodelay(stdscr, TRUE);
    set_escdelay(25);
    curs_set(0);
    // The release is asked for too: for an event outside the mask, curses reads on,
    // blocking, and the loop would stall until the next key.
    mousemask(BUTTON1_PRESSED | BUTTON1_RELEASED | BUTTON1_CLICKED, nullptr);
    mouseinterval(0);
    if (has_colors()) {
      start_color();
      use_default_colors();
      init_pair(kRed, COLOR_RED, -1);
      init_pair(kYellow, COLOR_YELLOW, -1);
      init_pair(kLightGrey, COLOR_WHITE, -1);
      init_pair(kDarkGrey, COLORS >= 16 ? 8 : COLOR_BLACK, -1);
      colors_ = true;
    }
  }

  boxes_->loop_thread.store(std::this_thread::get_id());
  boxes_->owner = weak;
  input_watch_ = WatchDescriptor(STDIN_FILENO, [weak] {
    if (auto self = weak.lock()) self->OnInput();
  });
  wake_watch_ = WatchDescriptor(boxes_->wake_fd, [weak] {
    if (auto self = weak.lock()) self->OnWake();
  });
  SetMessageBoxHandler([queue = boxes_](std::wstring_view text) { queue->Show(text); },
                       [queue = boxes_] { queue->Dismiss(); });
  handler_installed_ = true;
  return true;
}

void TerminalWindow::LetGo() {
  UnwatchDescriptor(std::exchange(input_watch_, 0));
  UnwatchDescriptor(std::exchange(wake_watch_, 0));
  UnwatchDescriptor(std::exchange(child_watch_, 0));
  {
    std::lock_guard<std::mutex> lock(curses_mutex_);
    if (child_) {
      // The user may still be editing one of the program's files: the editor gets the
      // hang-up of a closed terminal, saves what it can and ends, and the program's end
      // waits for it a few seconds at most.
      HangUpForegroundChild(*child_, kChildHangUpGrace);
      child_.reset();
    } else if (screen_ != nullptr) {
      endwin();
    }
    if (screen_ != nullptr) delscreen(screen_);
    screen_ = nullptr;
    gone_ = true;
  }
  if (!std::exchange(handler_installed_, false)) return;
  SetMessageBoxHandler({});
  {
    std::lock_guard<std::mutex> lock(boxes_->mutex);
    boxes_->closed = true;
  }
  boxes_->cv.notify_all();
}

// --- state from any thread ---------------------------------------------------------

void TerminalWindow::ChangeState(const std::function<void(WindowState&)>& change) {
  {
    std::lock_guard<std::mutex> lock(state_mutex_);
    change(state_);
  }
  boxes_->Wake();
}

void TerminalWindow::SetTitle(std::wstring_view title) {
  ChangeState([&](WindowState& s) { s.title = title; });
}

void TerminalWindow::Show(bool visible) {
  ChangeState([&](WindowState& s) { s.visible = visible; });
}

bool TerminalWindow::IsVisible() const {
  std::lock_guard<std::mutex> lock(state_mutex_);
  return state_.visible;
}

void TerminalWindow::CheckMenuItem(int command_id, bool checked) {
  ChangeState([&](WindowState& s) { s.checks[command_id] = checked; });
}

bool TerminalWindow::ShowTrayPicture(int index) {
  if (index < 0 || index >= kTrayPictureCount) return false;
  ChangeState([&](WindowState& s) { s.picture = index; });
  return true;
}

// --- the loop's thread --------------------------------------------------------------

void TerminalWindow::DrawStatus(const StatusView& view) {
  std::lock_guard<std::mutex> lock(curses_mutex_);
  {
    std::lock_guard<std::mutex> state_lock(state_mutex_);
    state_.view = view;
  }
  drawn_ = true;
  RedrawLocked();
}

void TerminalWindow::OnWake() {
  boxes_->loop_thread.store(std::this_thread::get_id());
  boxes_->Drain();
  std::lock_guard<std::mutex> lock(curses_mutex_);
  drawn_ = true;
  RedrawLocked();
}

void TerminalWindow::OnInput() {
  std::lock_guard<std::mutex> lock(curses_mutex_);
  if (child_) return;
  DrainInputLocked(modal_done_);
  if (InputHungUp()) {
    LoseTerminalLocked();
    return;
  }
  RedrawLocked();
}

void TerminalWindow::OnResize() {
  std::lock_guard<std::mutex> lock(curses_mutex_);
  FollowSizeLocked();
  RedrawLocked();
}

void TerminalWindow::OnChildEnded() {
  std::lock_guard<std::mutex> lock(curses_mutex_);
  if (child_) EndChildLocked(false);
}

void TerminalWindow::PopupMenu() {
  {
    std::lock_guard<std::mutex> lock(curses_mutex_);
    if (child_) return;
    menu_.Open();
    popup_ = true;
  }
  RunNestedUntil([this] { return !menu_.is_open(); });
}

// The loop's modal loop, for as long as something modal is open: the window's messages,
// timers and signals go on, and the keys read meanwhile belong to the open menu or box.
void TerminalWindow::RunNestedUntil(const std::function<bool()>& done) {
  boxes_->loop_thread.store(std::this_thread::get_id());
  const std::function<bool()>* outer;
  {
    std::lock_guard<std::mutex> lock(curses_mutex_);
    outer = modal_done_;
    modal_done_ = &done;
    // Keys typed right behind the one that opened it are read already.
    if (!child_) {
      FollowSizeLocked();
      DrainInputLocked(&done);
      drawn_ = drawn_ || menu_.is_open();
      RedrawLocked();
    }
  }
  const bool ended = RunModal([&] {
    std::lock_guard<std::mutex> lock(curses_mutex_);
    return done();
  });
  std::lock_guard<std::mutex> lock(curses_mutex_);
  modal_done_ = outer;
  if (!ended && menu_.is_open()) {
    menu_.Close();
    RedrawLocked();
  }
}

void TerminalWindow::FollowSizeLocked() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0 || size.ws_col == 0) return;
  if (size.ws_row == LINES && size.ws_col == COLS) return;
  resizeterm(size.ws_row, size.ws_col);
  clearok(curscr, TRUE);
}

// --- keys and mouse -----------------------------------------------------------------

// Arrow keys arrive in the terminal's application form while curses runs; a program run
// in between may leave the terminal in the plain form, so both are known, and the
// application form is asked for again on the way back.
void KnowBothArrowForms() {
  define_key("\033[A", KEY_UP);
  define_key("\033[B", KEY_DOWN);
  define_key("\033[C", KEY_RIGHT);
  define_key("\033[D", KEY_LEFT);
}

// Asks for the application form again after a program that reset it, through curses, so
// that curses knows the terminal's mode and gives the plain form back at its end (a
// request written behind its back would also reach the terminal late, after that end).
void RestoreKeypadMode() { keypad(stdscr, TRUE); }

bool IsEnter(int status, wint_t key) {
  return (status == OK && (key == L'\n' || key == L'\r')) ||
         (status == KEY_CODE_YES && key == KEY_ENTER);
}

bool IsMenuKey(int status, wint_t key) {
  return (status == OK && (key == L'm' || key == L'M')) ||
         (status == KEY_CODE_YES && key == static_cast<wint_t>(KEY_F(1)));
}

void TerminalWindow::DrainInputLocked(const std::function<bool()>* done) {
  for (;;) {
    if (done != nullptr && (*done)()) return;
    wint_t key;
    const int status = wget_wch(stdscr, &key);
    if (status == ERR) return;
    // The program takes the tap between two rounds of the loop: the keys behind it stay
    // unread for the popup it opens.
    if (!HandleKeyLocked(status, key)) return;
  }
}

bool TerminalWindow::HandleKeyLocked(int status, wint_t key) {
  if (status == KEY_CODE_YES && key == KEY_RESIZE) {
    FollowSizeLocked();
    return true;
  }
  WindowState state;
  {
    std::lock_guard<std::mutex> lock(state_mutex_);
    state = state_;
  }
  {
    bool box_shown;
    {
      std::lock_guard<std::mutex> lock(boxes_->mutex);
      box_shown = !boxes_->pending.empty();
    }
    if (box_shown) return HandleBoxKeyLocked(status, key);
  }
  if (status == KEY_CODE_YES && key == KEY_MOUSE) {
    MEVENT event;
    if (getmouse(&event) != OK || !(event.bstate & (BUTTON1_PRESSED | BUTTON1_CLICKED))) {
      return true;
    }
    if (menu_.is_open()) {
      const int id = menu_.Click(menu_placement_, event.y, event.x);
      if (id > 0) ChooseLocked(id);
      return true;
    }
    if (!state.visible) {
      if (event.y != 0) return true;
      Post(options_.tray_message, 0, msg::kLeftButtonDown);
      return false;
    }
    const int button_width = DisplayWidth(L" F1/m: " + options_.menu_label + L" ");
    if (event.y == LINES - 1 && event.x < button_width) {
      menu_.Open();
      popup_ = false;
    }
    return true;
  }
  if (menu_.is_open()) {
    if (IsEnter(status, key)) {
      const int id = menu_.Activate();
      if (id > 0) ChooseLocked(id);
    } else if (IsMenuKey(status, key)) {
      menu_.Close();
    } else if (status == OK && key == 27) {
      menu_.Back();
    } else if (status == KEY_CODE_YES) {
      switch (key) {
        case KEY_UP: menu_.Move(-1); break;
        case KEY_DOWN: menu_.Move(1); break;
        case KEY_RIGHT: menu_.Forward(); break;
        case KEY_LEFT: menu_.Back(); break;
        default: break;
      }
    }
    return true;
  }
  if (!state.visible) {
    Post(options_.tray_message, 0, msg::kLeftButtonDown);
    return false;
  }
  if (IsMenuKey(status, key)) {
    menu_.Open();
    popup_ = false;
  }
  return true;
}

bool TerminalWindow::HandleBoxKeyLocked(int status, wint_t key) {
  if (IsEnter(status, key)) {
    CloseFrontBoxLocked();
    return true;
  }
  if (status == KEY_CODE_YES && key == KEY_MOUSE) {
    MEVENT event;
    if (getmouse(&event) == OK && (event.bstate & (BUTTON1_PRESSED | BUTTON1_CLICKED)) &&
        event.y == box_ok_row_ && event.x >= box_ok_left_ &&
        event.x < box_ok_left_ + box_ok_width_) {
      CloseFrontBoxLocked();
    }
    return true;
  }
  if (status == KEY_CODE_YES) {
    int delta = 0;
    if (key == KEY_UP) delta = -1;
    if (key == KEY_DOWN) delta = 1;
    if (key == KEY_PPAGE) delta = -std::max(1, box_rows_);
    if (key == KEY_NPAGE) delta = std::max(1, box_rows_);
    std::lock_guard<std::mutex> lock(boxes_->mutex);
    if (delta != 0 && !boxes_->pending.empty()) boxes_->pending.front()->scroll += delta;
  }
  return true;
}

void TerminalWindow::CloseFrontBoxLocked() {
  {
    std::lock_guard<std::mutex> lock(boxes_->mutex);
    if (boxes_->pending.empty()) return;
    boxes_->pending.front()->done = true;
    boxes_->pending.pop_front();
  }
  boxes_->cv.notify_all();
}

void TerminalWindow::ChooseLocked(int command_id) {
  Post(msg::kCommand, static_cast<std::uintptr_t>(command_id), 0);
}

// --- a program in the terminal ------------------------------------------------------

bool TerminalWindow::OpenForUser(std::wstring_view path) {
  const std::string file = NarrowPath(std::wstring(path));
  const char* display = std::getenv("DISPLAY");
  if (display != nullptr && *display != '\0') {
    const std::string opener = FindOnPath("xdg-open");
    if (!opener.empty()) return StartDetached({opener, file});
  }
  std::vector<std::string> argv;
  for (const char* variable : {"VISUAL", "EDITOR"}) {
    const char* editor = std::getenv(variable);
    if (editor != nullptr && *editor != '\0') {
      // The editor setting may carry its own arguments; the file goes in as "$1", so no
      // character of its name means anything to the shell.
      argv = {"/bin/sh", "-c", std::string(editor) + " \"$1\"", "sh", file};
      break;
    }
  }
  // An empty file has nothing to page through: it is there to be written, so the
  // system's editor takes it.
  struct stat st {};
  const bool empty = stat(file.c_str(), &st) != 0 || st.st_size == 0;
  const auto first_found = [&](std::initializer_list<const char*> names) {
    for (const char* name : names) {
      const std::string found = FindOnPath(name);
      if (!found.empty()) {
        argv = {found, file};
        return;
      }
    }
  };
  if (argv.empty() && empty) first_found({"sensible-editor", "editor", "nano", "vi"});
  if (argv.empty()) first_found({"less", "more"});
  if (argv.empty()) return false;
  std::lock_guard<std::mutex> lock(curses_mutex_);
  if (child_ || screen_ == nullptr || gone_) return false;
  StartChildLocked(argv);
  return child_.has_value();
}

void TerminalWindow::StartChildLocked(const std::vector<std::string>& argv) {
  def_prog_mode();
  endwin();
  child_ = StartInForeground(argv);
  if (!child_) {
    reset_prog_mode();
    RestoreKeypadMode();
    clearok(curscr, TRUE);
    RedrawLocked();
    return;
  }
  // The child reads the keyboard now; the loop must not wake for its keys.
  UnwatchDescriptor(input_watch_);
  input_watch_ = 0;
  std::weak_ptr<TerminalWindow> weak = weak_from_this();
  child_watch_ = WatchDescriptor(child_->end_fd, [weak] {
    if (auto self = weak.lock()) self->OnChildEnded();
  });
}

void TerminalWindow::EndChildLocked(bool wait) {
  UnwatchDescriptor(child_watch_);
  child_watch_ = 0;
  FinishForegroundChild(*child_, wait);
  child_.reset();
  reset_prog_mode();
  RestoreKeypadMode();
  FollowSizeLocked();
  clearok(curscr, TRUE);
  std::weak_ptr<TerminalWindow> weak = weak_from_this();
  if (!gone_) {
    input_watch_ = WatchDescriptor(STDIN_FILENO, [weak] {
      if (auto self = weak.lock()) self->OnInput();
    });
  }
  RedrawLocked();
}

void TerminalWindow::LoseTerminalLocked() {
  if (gone_) return;
  gone_ = true;
  UnwatchDescriptor(input_watch_);
  input_watch_ = 0;
  menu_.Close();
  // Boxes waiting now, and every later one, go the default way: nobody can close them.
  if (handler_installed_) {
    SetMessageBoxHandler({});
    handler_installed_ = false;
  }
  {
    std::lock_guard<std::mutex> lock(boxes_->mutex);
    boxes_->closed = true;
  }
  boxes_->cv.notify_all();
}

// --- drawing ------------------------------------------------------------------------

void TerminalWindow::PutText(int row, int column, std::wstring_view text, int columns,
                               attr_t attrs, short pair) {
  if (row < 0 || row >= LINES || column < 0 || column >= COLS || columns <= 0) return;
  const std::wstring fitted = FitToWidth(text, std::min(columns, COLS - column));
  wattr_set(stdscr, attrs, colors_ ? pair : 0, nullptr);
  mvwaddnwstr(stdscr, row, column, fitted.c_str(), static_cast<int>(fitted.size()));
  wattr_set(stdscr, A_NORMAL, 0, nullptr);
}

void TerminalWindow::RedrawLocked() {
  if (screen_ == nullptr || child_ || gone_) return;
  WindowState state;
  {
    std::lock_guard<std::mutex> lock(state_mutex_);
    state = state_;
  }
  std::shared_ptr<BoxRequest> box;
  {
    std::lock_guard<std::mutex> lock(boxes_->mutex);
    if (!boxes_->pending.empty()) box = boxes_->pending.front();
  }
  werase(stdscr);
  if (drawn_) {
    DrawTitleRowLocked(state);
    if (state.visible) {
      DrawStatusLocked(state);
      DrawBottomRowLocked();
    }
    if (menu_.is_open()) DrawMenuLocked(state);
  }
  if (box) DrawBoxLocked(box);
  wnoutrefresh(stdscr);
  doupdate();
}

// The tray picture: three shapes coloured as the state says, and a letter for terminals
// without colour (Busy, Idle, Paused, data frames 1 to 3, whose lit shape is also bold).
void TerminalWindow::DrawTitleRowLocked(const WindowState& state) {
  const int picture_width = state.picture >= 0 ? 7 : 0;
  PutText(0, 0, std::wstring(static_cast<std::size_t>(std::max(0, COLS)), L' '), COLS, A_REVERSE);
  PutText(0, 1, state.title, COLS - 2 - picture_width, A_REVERSE);
  if (state.picture < 0) return;
  static constexpr wchar_t kShapes[3] = {L'\u25cf', L'\u25cf', L'\u25b2'};
  static constexpr wchar_t kLetters[6] = {L'B', L'I', L'P', L'1', L'2', L'3'};
  const int left = std::max(0, COLS - picture_width);
  PutText(0, left, L" ", 1, A_NORMAL);
  for (int i = 0; i < 3; ++i) {
    short pair = kYellow;
    attr_t attrs = A_BOLD;
    switch (state.picture) {
      case 0: break;
      case 1: pair = kLightGrey; attrs = A_NORMAL; break;
      case 2: pair = kRed; attrs = A_BOLD; break;
      default:
        if (state.picture - 3 != i) {
          pair = kDarkGrey;
          attrs = A_DIM;
        }
        break;
    }
    PutText(0, left + 1 + i, std::wstring(1, kShapes[i]), 1, attrs, pair);
  }
  PutText(0, left + 4, std::wstring(L" ") + kLetters[state.picture] + L" ", 3, A_NORMAL);
}

// The rows follow the window's line rectangles top to bottom: state (with the resume
// line right-aligned on it), progress, time, band, then the URL down to the bottom row.
// Lines that do not fit are cut, never drawn over one another: the rows end above the
// bottom row, and the resume line takes only the room the state line leaves.
void TerminalWindow::DrawStatusLocked(const WindowState& state) {
  const StatusView& v = state.view;
  const int right = COLS - 1;  // one column of margin as the window keeps on the right
  const int bottom = LINES - 1;  // the menu button's row
  const auto line = [&](int row, std::wstring_view text, attr_t attrs, short pair = 0) {
    if (row < bottom) PutText(row, 1, text, right - 1, attrs, pair);
  };
  line(1, v.state, v.state_alert ? A_BOLD : A_NORMAL, v.state_alert ? kRed : 0);
  line(2, v.progress, A_NORMAL);
  line(3, v.time, A_NORMAL);
  line(4, v.band, A_NORMAL);
  const std::vector<std::wstring> url_rows = WrapText(v.url, right - 1);
  for (std::size_t i = 0; i < url_rows.size(); ++i) line(5 + static_cast<int>(i), url_rows[i], A_NORMAL);
  if (!v.resume.empty() && 1 < bottom) {
    const int state_end = v.state.empty() ? 0 : 1 + DisplayWidth(FitToWidth(v.state, right - 1)) + 1;
    const int start = RightAlignedStart(v.resume, state_end, right);
    if (start >= 0) PutText(1, start, v.resume, right - start, A_NORMAL);
  }
}

void TerminalWindow::DrawBottomRowLocked() {
  if (LINES < 2) return;
  PutText(LINES - 1, 0, L" F1/m: " + options_.menu_label + L" ", COLS,
          menu_.is_open() && !popup_ ? A_BOLD : A_REVERSE);
}

void TerminalWindow::DrawMenuLocked(const WindowState& state) {
  menu_placement_ = popup_ ? menu_.Place(1, 0, false, LINES, COLS)
                           : menu_.Place(LINES - 1, 0, true, LINES, COLS);
  DrawMenuBoxLocked(menu_placement_.main, menu_.items(),
                    menu_.submenu_open() ? -1 : menu_.highlighted(), state);
  if (menu_.submenu_open()) {
    // The item that opened the sub-menu stays marked under it.
    const MenuBox& main = menu_placement_.main;
    const MenuItem& opener = menu_.items()[menu_.highlighted()];
    PutText(main.top + 1 + menu_.highlighted() - main.first, main.left + 1,
            MenuNavigator::ItemText(opener, false, main.width - 2), main.width - 2, A_BOLD);
    DrawMenuBoxLocked(menu_placement_.sub, opener.submenu, menu_.submenu_highlighted(), state);
  }
}

void TerminalWindow::DrawMenuBoxLocked(const MenuBox& box, const std::vector<MenuItem>& items,
                                         int highlighted, const WindowState& state) {
  const int inner = box.width - 2;
  const std::wstring rule(static_cast<std::size_t>(std::max(0, inner)), L'\u2500');
  const int shown = box.height - 2;
  // Arrows in the borders tell that the menu scrolls on.
  const auto border = [&](wchar_t left, wchar_t right, bool more) {
    std::wstring line = left + rule + right;
    if (more && line.size() > 2) line[1] = left == L'\u250c' ? L'\u25b2' : L'\u25bc';
    return line;
  };
  PutText(box.top, box.left, border(L'\u250c', L'\u2510', box.first > 0), box.width, A_NORMAL);
  for (int i = box.first; i < box.first + shown && i < static_cast<int>(items.size()); ++i) {
    const int row = box.top + 1 + i - box.first;
    const MenuItem& item = items[static_cast<std::size_t>(i)];
    if (IsSeparator(item)) {
      PutText(row, box.left, L"\u251c" + rule + L"\u2524", box.width, A_NORMAL);
      continue;
    }
    auto check = state.checks.find(item.command_id);
    const bool checked = item.command_id != 0 && check != state.checks.end() && check->second;
    PutText(row, box.left, L"\u2502", 1, A_NORMAL);
    PutText(row, box.left + 1, MenuNavigator::ItemText(item, checked, inner), inner,
            i == highlighted ? A_REVERSE : A_NORMAL);
    PutText(row, box.left + box.width - 1, L"\u2502", 1, A_NORMAL);
  }
  PutText(box.top + box.height - 1, box.left,
          border(L'\u2514', L'\u2518', box.first + shown < static_cast<int>(items.size())),
          box.width, A_NORMAL);
}

// The box: caption "ZENPO" in its top border, the text wrapped to fit, an OK button.
// Text taller than the screen scrolls with the arrow and page keys.
void TerminalWindow::DrawBoxLocked(const std::shared_ptr<BoxRequest>& box) {
  static const std::wstring kCaption = L" ZENPO ";
  static const std::wstring kButton = L"[  OK  ]";
  const int max_inner = std::max(1, std::min(COLS - 4, kBoxTextMaxWidth));
  const std::vector<std::wstring> rows = WrapText(box->text, max_inner);
  int inner = std::max(DisplayWidth(kButton), DisplayWidth(kCaption) + 2);
  for (const std::wstring& row : rows) inner = std::max(inner, DisplayWidth(row));
  inner = std::min(inner, std::max(1, COLS - 4));
  const int text_rows = static_cast<int>(rows.size());
  box_rows_ = std::max(1, std::min(text_rows, LINES - 4));
  int scroll;
  {
    std::lock_guard<std::mutex> lock(boxes_->mutex);
    box->scroll = std::clamp(box->scroll, 0, text_rows - box_rows_);
    scroll = box->scroll;
  }
  const int height = box_rows_ + 4;
  const int width = inner + 4;
  const int top = std::max(0, (LINES - height) / 2);
  const int left = std::max(0, (COLS - width) / 2);

  const std::wstring blank(static_cast<std::size_t>(width - 2), L' ');
  const std::wstring rule(static_cast<std::size_t>(width - 2), L'\u2500');
  PutText(top, left, L"\u250c" + rule + L"\u2510", width, A_NORMAL);
  PutText(top, left + 2, kCaption, width - 4, A_BOLD);
  for (int r = 1; r < height - 1; ++r) {
    PutText(top + r, left, L"\u2502" + blank + L"\u2502", width, A_NORMAL);
  }
  for (int r = 0; r < box_rows_ && scroll + r < text_rows; ++r) {
    PutText(top + 1 + r, left + 2, rows[static_cast<std::size_t>(scroll + r)], inner, A_NORMAL);
  }
  PutText(top + height - 1, left, L"\u2514" + rule + L"\u2518", width, A_NORMAL);
  box_ok_row_ = top + height - 2;
  box_ok_width_ = DisplayWidth(kButton);
  box_ok_left_ = left + (width - box_ok_width_) / 2;
  PutText(box_ok_row_, box_ok_left_, kButton, box_ok_width_, A_REVERSE);
}

}  // namespace

// The terminal window when the program runs in a terminal.
FrontEnd CreateFrontEnd(FrontEndOptions options) {
  FrontEnd front_end;
  auto terminal = std::make_shared<TerminalWindow>(std::move(options));
  if (terminal->Start()) {
    front_end.window = std::move(terminal);
    front_end.restart_in_place = true;
  } else {
    terminal.reset();  // gives the size signal back before the headless window takes over
    front_end.window = std::make_shared<HeadlessWindow>();
  }
  return front_end;
}

}  // namespace zenpo::platform
