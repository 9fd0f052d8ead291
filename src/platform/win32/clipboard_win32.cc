// The Windows clipboard as CF_UNICODETEXT.
#include <windows.h>

#include <thread>

#include "platform/clipboard.h"

namespace zenpo::platform {
namespace {

// Another program may hold the clipboard open for a moment; try a few times.
bool OpenTheClipboard() {
  for (int attempt = 0; attempt < 10; ++attempt) {
    if (OpenClipboard(nullptr)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(kClipboardAnswerTimeoutMs / 10));
  }
  return false;
}

class WindowsClipboard : public Clipboard {
 public:
  bool HasText() override { return IsClipboardFormatAvailable(CF_UNICODETEXT) != 0; }

  ClipboardText ReadText() override {
    ClipboardText result;
    if (!HasText()) return result;
    result.status = ClipboardStatus::kNotHandedOut;
    if (!OpenTheClipboard()) return result;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
      if (const auto* text = static_cast<const wchar_t*>(GlobalLock(data))) {
        const std::size_t units = GlobalSize(data) / sizeof(wchar_t);
        std::size_t n = 0;
        while (n < units && n < kMaxClipboardTextBytes / sizeof(wchar_t) && text[n] != L'\0') ++n;
        if (n > 0 && n < units && text[n] != L'\0' && IS_HIGH_SURROGATE(text[n - 1])) --n;
        result.text.assign(text, n);
        result.status = ClipboardStatus::kText;
        GlobalUnlock(data);
      }
    }
    CloseClipboard();
    return result;
  }

  bool Empty() override {
    if (!OpenTheClipboard()) return false;
    const bool emptied = EmptyClipboard() != 0;
    CloseClipboard();
    return emptied;
  }
};

}  // namespace

std::unique_ptr<Clipboard> OpenSystemClipboard() { return std::make_unique<WindowsClipboard>(); }

}  // namespace zenpo::platform
