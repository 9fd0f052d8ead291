// The download cycle's timer handlers and SetBusy.
#include "cycle/download_cycle.h"

#include <mutex>

#include "config/program_paths.h"
#include "config/settings.h"
#include "runtime/open_with_shell.h"
#include "runtime/progress_state.h"
#include "runtime/run_flags.h"
#include "runtime/status_lines.h"
#include "runtime/tray_icon.h"
#include "runtime/window_messages.h"

namespace zenpo {
namespace {

constexpr int kTickMs = 1000;
constexpr int kTicksPerSelection = 4;

}  // namespace

CycleServices DefaultCycleServices() {
  CycleServices s;
  s.select = [](SelectedEntry* entry) { return SelectNextEntry(entry); };
  s.start_job = [](DownloadJob job) {
    return platform::WorkerThread::Start(
        [job = std::move(job)] { JobThread(job, DefaultJobServices()); });
  };
  s.open_hook = [](const std::wstring& path) { RunHook(path); };
  return s;
}

DownloadCycle::DownloadCycle(platform::Window& window, CycleServices services)
    : window_(window), services_(std::move(services)) {}

void DownloadCycle::Start() {
  busy_ = 0;
  ticks_ = 0;
  window_.SetTimer(timer_id::kCycle, kTickMs);
}

void DownloadCycle::OnCycleTimer() {
  if (CloseRequested.load()) {
    window_.Post(ShutdownMsg, 0, 0);
    return;
  }
  if (PauseRequested.load()) {
    StatusLines.StateLine.Set(L"PAUSE");
    window_.Invalidate();
    return;
  }
  if (++ticks_ < kTicksPerSelection) return;
  ticks_ = 0;
  window_.KillTimer(timer_id::kCycle);

  SelectedEntry entry;
  program_result_ = services_.select(&entry);
  if (entry.url.empty()) {
    if (SelectionEndsProgram(program_result_) || CloseRequested.load()) {
      window_.Post(ShutdownMsg, 0, 0);
      return;
    }
    if (busy_ == 1) {
      busy_ = 0;
      SetBusy(0);
    }
    window_.SetTimer(timer_id::kCycle, kTickMs);
    return;
  }
  if (busy_ == 0) {
    busy_ = 1;
    SetBusy(1);
  }
  DownloadJob job{std::move(entry.url), std::move(entry.authorization), std::move(entry.agent),
                  std::move(entry.referer), &window_};
  JobResult = 0;
  job_ = services_.start_job(std::move(job));
  window_.SetTimer(timer_id::kJobPoll, kTickMs);
}

void DownloadCycle::OnJobPollTimer() {
  if (job_.ExitStatus() == platform::kStillActive) return;
  window_.KillTimer(timer_id::kJobPoll);
  program_result_ = JobResult.load();
  job_.Abandon();  // it has ended: this joins it
  if (JobResultEndsProgram(program_result_) || CloseRequested.load()) {
    window_.Post(ShutdownMsg, 0, 0);
    return;
  }
  // The transfer's last chunk may have shown a data frame after the pause began.
  if (PauseRequested.load()) UpdateTrayIcon(tray_state::kBusy);
  if (!PauseRequested.load()) StatusLines.StateLine.Set(L"READ URL");
  StatusLines.ProgressLine.Clear();
  StatusLines.TimeLine.Clear();
  StatusLines.BandLine.Clear();
  StatusLines.UrlLine.Clear();
  StatusLines.ResumeLine.Clear();
  window_.Invalidate();
  window_.SetTimer(timer_id::kCycle, kTickMs);
}

void DownloadCycle::OnProgressTimer() {
  std::lock_guard<std::mutex> lock(SharedLock);
  WriteTransferStatistics(LocalFileTimeNow());
  window_.Invalidate();
}

void DownloadCycle::OnWatcherPollTimer() {
  if (watcher_.ExitStatus() == platform::kStillActive) return;
  window_.KillTimer(timer_id::kWatcherPoll);
  watcher_.Abandon();
}

void DownloadCycle::SetBusy(int phase) {
  window_.SetTitle(phase ? AppSettings.titleDL : AppSettings.title);
  if (!AbortRequested()) StatusLines.StateLine.Set(phase ? L"OPEN URL" : L"WAITING");
  UpdateTrayIcon(phase ? tray_state::kBusy : tray_state::kIdle);
  services_.open_hook(phase ? ProgramPaths.StartDownloadHookPath
                            : ProgramPaths.EndDownloadHookPath);
  window_.Invalidate();
}

}  // namespace zenpo
