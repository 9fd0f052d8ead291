// The clipboard watcher: a thread that queues every URL the user copies by appending it
// to the list.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "list/list_entry.h"
#include "platform/clipboard.h"
#include "platform/worker_thread.h"
#include "report/result_codes.h"

namespace zenpo {

// The longest clipboard text the watcher takes as a URL, in characters: what the list
// and the engine can hold. Longer text, and text with a line break or another control
// character, is never queued.
constexpr std::size_t kMaxClipboardUrlChars = entry_capacity::kUrl;

// Whether text can be queued as one list line: it fits the list's URL field, holds no
// line break or other control character, which would split it into several lines, and
// reads back the same from the list's code page (a character the code page lacks would
// be written as "?" or a look-alike, and a "?" starts a query: another resource).
bool FitsOneListLine(const std::wstring& text);

// Reads the clipboard's Unicode text into buffer. Returns 0 when done, also when the
// clipboard held no text (buffer then unchanged); 1 when it offered text but handed none
// out; 102 when a report failed.
int ReadClipboardText(platform::Clipboard& clipboard, std::wstring* buffer);

// What the watcher calls and how long it pauses; tests replace them.
struct WatcherServices {
  std::function<ResultCode(std::wstring_view url)> append;
  std::chrono::milliseconds poll_pause{1000};
  std::chrono::milliseconds append_pause{100};
};

// AppendListUrl and the real pauses.
WatcherServices DefaultWatcherServices();

// The watcher's procedure. Empties the clipboard, then polls it while ClipState is 2
// (watching) and appends each new text that passes the URL test, retrying while the list
// is in use. Ends with ClipState 0 after a stop request or a close request; on a fatal
// failure it sets CloseRequested, so that the program ends.
void ClipboardWatcher(platform::Clipboard& clipboard, const WatcherServices& services);

// Starts ClipboardWatcher on a thread of its own with the system clipboard.
platform::WorkerThread StartClipboardWatcher();

}  // namespace zenpo
