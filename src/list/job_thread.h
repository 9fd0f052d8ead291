// The job thread: one download from start to finish, and its result written back into
// the list.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>

#include "platform/window.h"
#include "report/result_codes.h"

namespace zenpo {

// What the cycle hands to one job. The window owns the progress timer and gets repaint
// requests; it outlives the job.
struct DownloadJob {
  std::wstring url;
  std::wstring authorization;
  std::wstring agent;
  std::wstring referer;
  platform::RepaintTarget* window = nullptr;
};

// The result of the last job as the job thread finally decided it. Written only by the
// job thread; the cycle reads it after the thread has ended.
extern std::atomic<ResultCode> JobResult;

// What a job calls; tests replace them.
struct JobServices {
  std::function<ResultCode(const DownloadJob&)> download;
  std::function<ResultCode(std::wstring_view url, ResultCode code)> write_back;
  // The pause between write-back attempts while the list is in use.
  std::chrono::milliseconds retry_pause{100};
};

// The services of the real program: DownloadUrl and WriteEntryResult.
JobServices DefaultJobServices();

// The job thread's procedure: downloads job.url, stops the progress timer, reports the
// code, and writes it into every line of the URL, retrying up to 20 more times while the
// list is in use. Leaves the outcome in JobResult: the engine's code, or the write-back's
// failure code (150 to 154, 161), or 102 when the log became unusable (nothing is then
// written into the list).
void JobThread(DownloadJob job, const JobServices& services);

}  // namespace zenpo
