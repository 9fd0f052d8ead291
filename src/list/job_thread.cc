// JobThread with the write-back retries.
#include "list/job_thread.h"

#include <string>
#include <thread>

#include "engine/download_url.h"
#include "list/write_entry_result.h"
#include "report/report_message.h"
#include "runtime/run_flags.h"
#include "runtime/status_lines.h"
#include "runtime/window_messages.h"

namespace zenpo {

std::atomic<ResultCode> JobResult{0};

namespace {

constexpr int kWriteBackRetries = 20;

}  // namespace

JobServices DefaultJobServices() {
  JobServices s;
  s.download = [](const DownloadJob& job) {
    return DownloadUrl(job.url, *job.window, job.agent, job.referer, job.authorization);
  };
  s.write_back = [](std::wstring_view url, ResultCode code) {
    return WriteEntryResult(url, code);
  };
  return s;
}

void JobThread(DownloadJob job, const JobServices& services) {
  const ResultCode code = services.download(job);
  JobResult = code;
  job.window->KillTimer(timer_id::kProgress);
  if (code == rc::kLogUnusable) return;
  if (ReportMessage(std::to_wstring(code), level::kOutcome, level::kNotShown) ==
      rc::kLogUnusable) {
    JobResult = rc::kLogUnusable;
    return;
  }
  if (!AbortRequested()) StatusLines.StateLine.Set(L"WRITE RESULT");
  job.window->Invalidate();

  ResultCode written = services.write_back(job.url, code);
  for (int retry = 0; retry < kWriteBackRetries && written != rc::kLogUnusable &&
                      IsRetriedListResult(written);
       ++retry) {
    std::this_thread::sleep_for(services.retry_pause);
    written = services.write_back(job.url, code);
  }
  if (written == rc::kLogUnusable) {
    JobResult = rc::kLogUnusable;
    return;
  }
  if (IsRetriedListResult(written) &&
      ReportMessage(L"listfileの書込がタイムアウトしました", level::kFailure, level::kShown) ==
          rc::kLogUnusable) {
    JobResult = rc::kLogUnusable;
    return;
  }
  if (written != rc::kWriteDone) JobResult = written;
}

}  // namespace zenpo
