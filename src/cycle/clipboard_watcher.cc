// ClipboardWatcher and ReadClipboardText.
#include "cycle/clipboard_watcher.h"

#include <thread>

#include "list/append_list_url.h"
#include "list/list_entry.h"
#include "platform/text.h"
#include "report/report_message.h"
#include "runtime/run_flags.h"

namespace zenpo {
namespace {

constexpr int kAppendCalls = 20;

bool Reported(std::wstring_view text, int log, int msg) {
  return ReportMessage(text, log, msg) != rc::kLogUnusable;
}

void Fatal() { CloseRequested = 1; }

}  // namespace

bool FitsOneListLine(const std::wstring& text) {
  if (text.size() > kMaxClipboardUrlChars) return false;
  for (wchar_t c : text) {
    if (c < 0x20 || c == 0x7F) return false;
  }
  return platform::FromCodePage(platform::ToCodePage(text)) == text;
}

int ReadClipboardText(platform::Clipboard& clipboard, std::wstring* buffer) {
  if (!clipboard.HasText()) return 0;
  platform::ClipboardText read = clipboard.ReadText();
  switch (read.status) {
    case platform::ClipboardStatus::kNoText:
      return 0;
    case platform::ClipboardStatus::kNotHandedOut:
      return Reported(L"GetClipboardDataでerrorが発生しました", level::kTrace, level::kNotShown)
                 ? 1
                 : rc::kLogUnusable;
    case platform::ClipboardStatus::kText:
      break;
  }
  *buffer = std::move(read.text);
  return Reported(L"GetClipboardData->" + *buffer, level::kTrace, level::kNotShown)
             ? 0
             : rc::kLogUnusable;
}

WatcherServices DefaultWatcherServices() {
  WatcherServices s;
  s.append = [](std::wstring_view url) { return AppendListUrl(url); };
  return s;
}

void ClipboardWatcher(platform::Clipboard& clipboard, const WatcherServices& services) {
  std::wstring current, previous;
  if (!Reported(L"クリップボードの監視を開始します", level::kOutcome, level::kNotShown)) {
    return Fatal();
  }
  // What the clipboard held before watching began is never queued.
  clipboard.Empty();
  while (ClipState.load() == clip_state::kWatching) {
    if (CloseRequested.load()) break;
    if (ReadClipboardText(clipboard, &current) != 0) return Fatal();
    if (current != previous && IsDownloadUrl(current) && FitsOneListLine(current)) {
      if (!Reported(L"ClipBoard->" + current, level::kDetail, level::kNotShown)) return Fatal();
      ResultCode code = 0;
      for (int call = 0; call < kAppendCalls; ++call) {
        code = services.append(current);
        std::this_thread::sleep_for(services.append_pause);
        if (!IsRetriedListResult(code)) break;
      }
      if (code != rc::kWriteDone) {
        ClipAppendFailure = code;
        Fatal();
        if (!Reported(L"listfileの追記がタイムアウトしました", level::kFailure, level::kShown)) {
          return;
        }
      }
    }
    previous = current;
    std::this_thread::sleep_for(services.poll_pause);
  }
  const bool reported =
      Reported(L"クリップボードの監視を停止します", level::kOutcome, level::kNotShown);
  ClipState = clip_state::kOff;
  if (!reported) Fatal();
}

platform::WorkerThread StartClipboardWatcher() {
  return platform::WorkerThread::Start([] {
    std::unique_ptr<platform::Clipboard> clipboard = platform::OpenSystemClipboard();
    ClipboardWatcher(*clipboard, DefaultWatcherServices());
  });
}

}  // namespace zenpo
