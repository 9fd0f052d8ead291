// The main window's own messages, command ids and timer ids, shared by the engine and
// the job thread (the progress timer), the cycle and the window procedure.
#pragma once

#include <cstdint>

namespace zenpo {

// Messages of the main window beyond the system's own.
constexpr std::uint32_t TrayNotifyMsg = 0x8000;
constexpr std::uint32_t ShutdownMsg = 0x8001;

// The four window timers of the download cycle.
namespace timer_id {
constexpr int kCycle = 1;        // CycleTimer: counts to the next selection
constexpr int kJobPoll = 2;      // JobPollTimer: waits for the job thread's end
constexpr int kProgress = 3;     // ProgressTimer: redraws time and bandwidth
constexpr int kWatcherPoll = 4;  // WatcherPollTimer: waits for the watcher's end
}  // namespace timer_id

// Menu commands, by the menu's labels.
namespace menu_cmd {
constexpr int kMenuButton = 40002;
constexpr int kExit = 40003;      // "EXIT"
constexpr int kHide = 40004;      // "HIDE"
constexpr int kPause = 40005;     // "PAUSE"
constexpr int kCheckClip = 40006; // "CheckClip"
constexpr int kNoWait = 40007;    // "NoWait"
constexpr int kLogFile = 40010;   // "OPEN" / "LogFile"
constexpr int kIniFile = 40011;   // "OPEN" / "iniFIle"
constexpr int kListFile = 40012;  // "OPEN" / "ListFile"
}  // namespace menu_cmd

// Internal commands the window posts to itself.
constexpr int HideCmd = 45001;
constexpr int ShowCmd = 45002;
constexpr int PauseCmd = 45003;
constexpr int ResumeCmd = 45004;
constexpr int ClipStartCmd = 45005;
constexpr int ClipStopCmd = 45006;
constexpr int NoWaitOnCmd = 45007;
constexpr int NoWaitOffCmd = 45008;

}  // namespace zenpo
