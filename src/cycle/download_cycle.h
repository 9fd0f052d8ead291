// The download cycle: the main window's timer handlers that work the list off one entry
// at a time without ever waiting on a download, and the switch between the idle and the
// busy phase.
#pragma once

#include <functional>
#include <string>

#include "list/job_thread.h"
#include "list/select_next_entry.h"
#include "platform/window.h"
#include "platform/worker_thread.h"
#include "report/result_codes.h"

namespace zenpo {

// What the cycle calls; tests replace them.
struct CycleServices {
  std::function<ResultCode(SelectedEntry*)> select;
  // Starts the job thread for a job.
  std::function<platform::WorkerThread(DownloadJob job)> start_job;
  // Opens a hook file (the busy and idle hooks).
  std::function<void(const std::wstring& path)> open_hook;
};

// SelectNextEntry, JobThread with the real download and write-back, OpenWithShell.
CycleServices DefaultCycleServices();

// All handlers run on the window's (UI) thread, one at a time. The job thread talks to
// the cycle only through JobResult, the run-time flags, the status lines and
// ProgressState.
class DownloadCycle {
 public:
  DownloadCycle(platform::Window& window, CycleServices services);

  // Part of the window's creation: idle, no ticks counted, the CycleTimer started.
  void Start();

  // CycleTimer tick: every fourth unpaused tick selects the next entry and starts its
  // job; a close request posts ShutdownMsg.
  void OnCycleTimer();
  // JobPollTimer tick: once the job thread has ended, takes JobResult and either goes
  // back to counting or, for the results that end the program, posts ShutdownMsg.
  void OnJobPollTimer();
  // ProgressTimer tick: redraws the time and bandwidth lines from ProgressState.
  void OnProgressTimer();
  // WatcherPollTimer tick: lets go of the clipboard watcher once it has ended.
  void OnWatcherPollTimer();

  // The busy (1) or idle (0) phase: title, state line, tray picture, hook.
  void SetBusy(int phase);

  // The last result of a selection or a job: the program's exit code.
  ResultCode ProgramResult() const { return program_result_; }
  int BusyFlag() const { return busy_; }
  bool JobRunning() const { return job_.started() && !job_.HasEnded(); }

  // The clipboard watcher's thread, kept until the WatcherPollTimer sees it end.
  platform::WorkerThread& watcher_thread() { return watcher_; }

 private:
  platform::Window& window_;
  CycleServices services_;
  int ticks_ = 0;
  int busy_ = 0;
  ResultCode program_result_ = 0;
  platform::WorkerThread job_;
  platform::WorkerThread watcher_;
};

}  // namespace zenpo
