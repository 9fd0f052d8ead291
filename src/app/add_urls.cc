// FindAddedUrls and AddUrls.
#include "app/add_urls.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "config/program_paths.h"
#include "config/settings.h"
#include "cycle/clipboard_watcher.h"
#include "list/append_list_url.h"
#include "list/list_entry.h"
#include "platform/text.h"

namespace zenpo {
namespace {

// As the clipboard watcher: about two seconds for a list that is in use.
constexpr int kAppendCalls = 20;
constexpr std::chrono::milliseconds kAppendPause(100);

void NotQueued(const std::string& url, const char* why) {
  std::fprintf(stderr, "zenpo: not queued (%s): %s\n", why, url.c_str());
}

}  // namespace

std::vector<std::string> FindAddedUrls(const std::vector<std::string>& args, bool* is_add) {
  *is_add = !args.empty() && args.front() == "--add";
  if (!*is_add) return {};
  return {args.begin() + 1, args.end()};
}

int AddUrls(const std::vector<std::string>& urls) {
  if (urls.empty()) {
    std::fputs("zenpo: --add needs at least one URL\n", stderr);
    return add_status::kNoUrl;
  }
  BuildProgramPaths();
  LoadSettings();
  int status = add_status::kAllQueued;
  for (std::size_t i = 0; i < urls.size(); ++i) {
    const std::wstring url = platform::FromCodePage(urls[i]);
    if (!IsDownloadUrl(url) || !FitsOneListLine(url)) {
      NotQueued(urls[i], "no download URL");
      status = add_status::kSomeRefused;
      continue;
    }
    ResultCode code = 0;
    for (int call = 0; call < kAppendCalls; ++call) {
      code = AppendListUrl(url);
      if (!IsRetriedListResult(code)) break;
      std::this_thread::sleep_for(kAppendPause);
    }
    if (code != rc::kWriteDone) {
      for (; i < urls.size(); ++i) {
        NotQueued(urls[i], code == rc::kWriteInUse ? "the list stayed in use" : "the list failed");
      }
      return code;
    }
  }
  return status;
}

}  // namespace zenpo
