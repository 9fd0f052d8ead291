// Every path the program keeps next to itself, and the log file path under DLPath.
// Filled once at start-up (BuildProgramPaths, then LoadSettings for LogPath and
// DownloadDir) and read-only afterwards, so any thread may read it.
#pragma once

#include <string>

namespace zenpo {

struct ProgramPathsRecord {
  std::wstring ProgramDir;
  std::wstring SettingsPath;  // ProgramDir + "/ZENPO.ini"
  std::wstring ListPath;      // ProgramDir + "/ZENPO.txt"
  std::wstring ListLockPath;  // ProgramDir + "/!ZENPO.txt"
  std::wstring ListNewPath;   // ProgramDir + "/!!ZENPO.txt"
  std::wstring StartHookPath;
  std::wstring EndHookPath;
  std::wstring StartDownloadHookPath;
  std::wstring EndDownloadHookPath;
  // The download directory: DLPath resolved against ProgramDir ("" names ProgramDir).
  std::wstring DownloadDir;
  std::wstring LogPath;  // DownloadDir + "/ZENPO.log", within the system's path limit
  // Every path keeps the bytes the system (or the settings file, for DLPath) named it
  // with (see platform::PathFromSystem) and goes to the file service as it is.
};

extern ProgramPathsRecord ProgramPaths;

// Builds every path from the program's directory (platform::ProgramDirectory()).
void BuildProgramPaths();
// The same from a given directory (no trailing separator; "" for the root).
void BuildProgramPaths(const std::wstring& program_dir);

// Sets DownloadDir and LogPath from the DLPath setting: empty names ProgramDir, a
// relative one is taken relative to ProgramDir. A log path beyond the system's path
// limit is cut in its directory part, so the file name stays "ZENPO.log". Writes below
// DownloadDir are guarded against other users' links (platform::GuardWritesBelow).
void BuildLogPath(const std::wstring& dl_path);

}  // namespace zenpo
