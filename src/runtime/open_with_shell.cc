// OpenWithShell and RunHook over the platform shell.
#include "runtime/open_with_shell.h"

#include <chrono>
#include <thread>

#include "platform/files.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "report/report_message.h"

namespace zenpo {

int OpenWithShell(const std::wstring& path) {
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  return platform::ShellOpen(path) ? 0 : 1;
}

ResultCode RunHook(const std::wstring& path) {
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  switch (platform::TrustToRun(path)) {
    case platform::RunTrust::kMissing:
      return 0;
    case platform::RunTrust::kUntrusted:
      return ReportMessage(L"他のユーザが所有または変更できるフックは実行しません->" +
                               platform::ShownText(path),
                           level::kOutcome, level::kNotShown);
    case platform::RunTrust::kTrusted:
      platform::ShellOpen(path);
      return 0;
  }
  return 0;
}

}  // namespace zenpo
