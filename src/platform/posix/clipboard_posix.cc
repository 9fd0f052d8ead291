// The clipboard as the X11 CLIPBOARD selection, read as UTF8_STRING through Xlib into
// a hidden window of our own; emptying releases the selection.
#include "platform/clipboard.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace zenpo::platform {
namespace {

// Protocol errors (an owner window that vanished, a property gone) are expected: the
// calls check their results instead. Xlib's default handler would end the program.
int IgnoreProtocolError(Display*, XErrorEvent*) { return 0; }
int IgnoreIoError(Display*) { return 0; }

// Connections whose server is gone: Xlib can neither close one nor report its loss
// without unlocking the display twice, so they are kept here, socket closed, for the
// life of the process (once per lost server).
std::mutex abandoned_mutex;
std::vector<Display*>& AbandonedDisplays() {
  static auto* displays = new std::vector<Display*>;
  return *displays;
}

void PrepareXlib() {
  static std::once_flag once;
  std::call_once(once, [] {
    XInitThreads();
    XSetErrorHandler(IgnoreProtocolError);
    XSetIOErrorHandler(IgnoreIoError);
  });
}

// UTF-8 to wide text: invalid bytes become U+FFFD, text ends at the first NUL, and a
// character cut off at the end of the bytes is dropped.
std::wstring DecodeUtf8(const unsigned char* p, std::size_t n) {
  std::wstring out;
  std::size_t i = 0;
  while (i < n) {
    const unsigned char b = p[i];
    if (b == 0) break;
    std::size_t len;
    char32_t c;
    if (b < 0x80) {
      len = 1, c = b;
    } else if ((b & 0xE0) == 0xC0) {
      len = 2, c = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
      len = 3, c = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
      len = 4, c = b & 0x07;
    } else {
      out.push_back(L'\uFFFD');
      ++i;
      continue;
    }
    if (i + len > n) break;
    std::size_t k = 1;
    for (; k < len && (p[i + k] & 0xC0) == 0x80; ++k) c = (c << 6) | (p[i + k] & 0x3F);
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (k < len || c < kLeast[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      out.push_back(L'\uFFFD');
      i += k;
      continue;
    }
    if constexpr (sizeof(wchar_t) == 2) {
      if (c >= 0x10000) {
        c -= 0x10000;
        out.push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
        i += len;
        continue;
      }
    }
    out.push_back(static_cast<wchar_t>(c));
    i += len;
  }
  return out;
}

enum class Answer { kConverted, kRefused, kNoAnswer };

class X11Clipboard : public Clipboard {
 public:
  ~X11Clipboard() override { Disconnect(); }

  bool HasText() override { return Connect() && OffersText(); }

  ClipboardText ReadText() override {
    ClipboardText result;
    if (!Connect() || !OffersText()) return result;
    switch (Convert(utf8_)) {
      case Answer::kConverted: break;
      case Answer::kRefused:
      case Answer::kNoAnswer:
        result.status = broken_ ? ClipboardStatus::kNoText : ClipboardStatus::kNotHandedOut;
        return result;
    }
    Atom type = None;
    int format = 0;
    unsigned long count = 0, bytes_after = 0;
    unsigned char* data = nullptr;
    const int rc = XGetWindowProperty(display_, window_, property_, 0,
                                      kMaxClipboardTextBytes / 4, False, AnyPropertyType, &type,
                                      &format, &count, &bytes_after, &data);
    XDeleteProperty(display_, window_, property_);
    XFlush(display_);
    if (rc != Success || broken_) {
      if (data) XFree(data);
      result.status = broken_ ? ClipboardStatus::kNoText : ClipboardStatus::kNotHandedOut;
      return result;
    }
    result.status = ClipboardStatus::kText;
    // Text too large for one answer comes in increments, which are not followed: it
    // reads as empty text, never a URL, rather than as a failure of the clipboard.
    if (type != incr_ && format == 8 && data != nullptr) {
      result.text = DecodeUtf8(data, std::min<std::size_t>(count, kMaxClipboardTextBytes));
    }
    if (data) XFree(data);
    return result;
  }

  bool Empty() override {
    if (!Connect()) return false;
    XSetSelectionOwner(display_, clipboard_, None, CurrentTime);
    const bool emptied = XGetSelectionOwner(display_, clipboard_) == None;
    return emptied && !broken_;
  }

 private:
  static void OnConnectionLost(Display*, void* self) {
    static_cast<X11Clipboard*>(self)->broken_ = true;
  }

  // Connects when there is no working connection yet; false when there is no display.
  bool Connect() {
    if (display_ != nullptr && (broken_ || ServerGone())) Disconnect();
    if (display_ != nullptr) return true;
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0') return false;
    PrepareXlib();
    display_ = XOpenDisplay(name);
    if (display_ == nullptr) return false;
    XSetIOErrorExitHandler(display_, OnConnectionLost, this);
    window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
    clipboard_ = XInternAtom(display_, "CLIPBOARD", False);
    targets_ = XInternAtom(display_, "TARGETS", False);
    utf8_ = XInternAtom(display_, "UTF8_STRING", False);
    incr_ = XInternAtom(display_, "INCR", False);
    property_ = XInternAtom(display_, "ZENPO_CLIPBOARD", False);
    XSync(display_, False);
    if (broken_) {
      Disconnect();
      return false;
    }
    return true;
  }

  void Disconnect() {
    if (display_ == nullptr) return;
    if (broken_ || ServerGone()) {
      close(ConnectionNumber(display_));
      std::lock_guard<std::mutex> lock(abandoned_mutex);
      AbandonedDisplays().push_back(display_);
    } else {
      XDestroyWindow(display_, window_);
      XCloseDisplay(display_);
    }
    display_ = nullptr;
    broken_ = false;
  }

  // Whether the server has closed the connection, seen on the socket before Xlib reads
  // the end of it. Marks the connection broken.
  bool ServerGone() {
    pollfd fd{ConnectionNumber(display_), POLLIN | POLLRDHUP, 0};
    if (poll(&fd, 1, 0) > 0 && (fd.revents & (POLLHUP | POLLERR | POLLRDHUP | POLLNVAL))) {
      broken_ = true;
    }
    return broken_;
  }

  // Whether the selection has an owner that lists UTF8_STRING among its targets.
  bool OffersText() {
    if (XGetSelectionOwner(display_, clipboard_) == None) return false;
    if (Convert(targets_) != Answer::kConverted) return false;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, bytes_after = 0;
    unsigned char* data = nullptr;
    bool offered = false;
    if (XGetWindowProperty(display_, window_, property_, 0, 1024, True, XA_ATOM, &type, &format,
                           &count, &bytes_after, &data) == Success &&
        type == XA_ATOM && format == 32 && data != nullptr) {
      const Atom* atoms = reinterpret_cast<const Atom*>(data);
      offered = std::find(atoms, atoms + count, utf8_) != atoms + count;
    }
    if (data) XFree(data);
    return offered && !broken_;
  }

  // Asks the owner to convert the selection into our property and waits for its answer.
  Answer Convert(Atom target) {
    // Answers to requests that timed out earlier must not pass for this one's.
    XSync(display_, False);
    XEvent stale;
    while (!broken_ && XCheckTypedWindowEvent(display_, window_, SelectionNotify, &stale)) {
    }
    XDeleteProperty(display_, window_, property_);
    XConvertSelection(display_, clipboard_, target, property_, window_, CurrentTime);
    XFlush(display_);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kClipboardAnswerTimeoutMs);
    while (!broken_) {
      XEvent event;
      if (XCheckTypedWindowEvent(display_, window_, SelectionNotify, &event)) {
        const XSelectionEvent& s = event.xselection;
        if (s.selection != clipboard_ || s.target != target) continue;
        return s.property == None ? Answer::kRefused : Answer::kConverted;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd fd{ConnectionNumber(display_), POLLIN, 0};
      if (poll(&fd, 1, static_cast<int>(left.count())) > 0 && !ServerGone()) XPending(display_);
    }
    return Answer::kNoAnswer;
  }

  Display* display_ = nullptr;
  bool broken_ = false;  // the connection is lost; no Xlib call may use it any more
  Window window_ = None;
  Atom clipboard_ = None, targets_ = None, utf8_ = None, incr_ = None, property_ = None;
};

}  // namespace

std::unique_ptr<Clipboard> OpenSystemClipboard() { return std::make_unique<X11Clipboard>(); }

}  // namespace zenpo::platform
