// The system clipboard's Unicode text: whether it holds any, reading it, emptying it.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace zenpo::platform {

// The most text one read takes, in bytes as the clipboard's owner hands them out (UTF-8
// on X11). Longer text is cut after the last whole character within the limit.
constexpr std::size_t kMaxClipboardTextBytes = 64 * 1024;

// How long a read waits for the clipboard's owner to answer one request.
constexpr int kClipboardAnswerTimeoutMs = 1000;

enum class ClipboardStatus {
  kText,          // text was read (it may be empty, or cut at the limit)
  kNoText,        // no Unicode text on the clipboard, or no clipboard at all
  kNotHandedOut,  // the clipboard offered Unicode text but handed none out
};

struct ClipboardText {
  ClipboardStatus status = ClipboardStatus::kNoText;
  std::wstring text;  // up to the first NUL; empty unless status is kText
};

// One connection to the clipboard. An object is used by one thread at a time; separate
// objects may be used on separate threads. No call blocks longer than a few answer
// time-outs, and none fails the program when the clipboard or its owner misbehaves.
class Clipboard {
 public:
  virtual ~Clipboard() = default;

  virtual bool HasText() = 0;
  virtual ClipboardText ReadText() = 0;
  // Empties the clipboard for every program, as the user would see it: afterwards it
  // holds nothing to paste. False when there is no clipboard or it could not be emptied.
  virtual bool Empty() = 0;
};

// The system clipboard. On X11 it is the CLIPBOARD selection of the display named by
// DISPLAY, as UTF8_STRING; with DISPLAY unset or unreachable there is no clipboard (no
// text, nothing to empty), and a display that comes or goes later is noticed by the next
// call. Safe to call from any thread.
std::unique_ptr<Clipboard> OpenSystemClipboard();

}  // namespace zenpo::platform
