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
  std::wstring LogPath;  // DownloadDir + "/ZENPO.log", at most kMaxLogPathChars

  // Narrow twins for the stream functions.
  std::string settingsPathMb;
  std::string listLockPathMb;
  std::string listNewPathMb;
  std::string logPathMb;
};

extern ProgramPathsRecord ProgramPaths;

// Capacities of the log path: wide characters and bytes of its narrow twin.
constexpr std::size_t kMaxLogPathChars = 259;
constexpr std::size_t kMaxLogPathBytes = 256;

// Builds every path from the program's directory (platform::ProgramDirectory()).
void BuildProgramPaths();
// The same from a given directory (no trailing separator; "" for the root).
void BuildProgramPaths(const std::wstring& program_dir);

// Sets DownloadDir and LogPath from the DLPath setting: empty names ProgramDir, a
// relative one is taken relative to ProgramDir. A log path longer than its capacity is
// cut in its directory part, so the file name stays "ZENPO.log".
void BuildLogPath(const std::wstring& dl_path);

}  // namespace zenpo
