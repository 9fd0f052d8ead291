// BuildProgramPaths and the log path.
#include "config/program_paths.h"

#include "platform/files.h"
#include "platform/process.h"
#include "platform/text.h"

namespace zenpo {

ProgramPathsRecord ProgramPaths;

namespace {

std::wstring Join(const std::wstring& dir, const wchar_t* name) {
  return dir + platform::kPathSeparator + name;
}

}  // namespace

void BuildProgramPaths() { BuildProgramPaths(platform::ProgramDirectory()); }

void BuildProgramPaths(const std::wstring& program_dir) {
  ProgramPathsRecord& p = ProgramPaths;
  p.ProgramDir = program_dir;
  p.SettingsPath = Join(program_dir, L"ZENPO.ini");
  p.ListPath = Join(program_dir, L"ZENPO.txt");
  p.ListLockPath = Join(program_dir, L"!ZENPO.txt");
  p.ListNewPath = Join(program_dir, L"!!ZENPO.txt");
  p.StartHookPath = Join(program_dir, L"ZENPO_start.lnk");
  p.StartDownloadHookPath = Join(program_dir, L"ZENPO_start_d.lnk");
  p.EndDownloadHookPath = Join(program_dir, L"ZENPO_end_d.lnk");
  p.EndHookPath = Join(program_dir, L"ZENPO_end.lnk");
  BuildLogPath(L"");
}

void BuildLogPath(const std::wstring& dl_path) {
  ProgramPathsRecord& p = ProgramPaths;
  if (dl_path.empty()) {
    p.DownloadDir = p.ProgramDir;
  } else if (platform::IsAbsolutePath(dl_path)) {
    p.DownloadDir = dl_path;
  } else {
    p.DownloadDir = p.ProgramDir + platform::kPathSeparator + dl_path;
  }
  while (p.DownloadDir.size() > 1 && p.DownloadDir.back() == platform::kPathSeparator) {
    p.DownloadDir.pop_back();
  }
  const std::wstring suffix = std::wstring(1, platform::kPathSeparator) + L"ZENPO.log";
  std::wstring dir = p.DownloadDir;
  if (dir.size() == 1 && dir[0] == platform::kPathSeparator) dir.clear();
  // Past the system's path limit the directory is cut, never the file name: a shortened
  // directory fails to open with a clear report, where a shortened name would quietly
  // log somewhere else.
  std::string dir_mb = platform::NarrowPath(dir);
  const std::string suffix_mb = platform::NarrowPath(suffix);
  if (dir_mb.size() + suffix_mb.size() > platform::kMaxPathBytes) {
    dir_mb = platform::PathToSystem(dir, platform::kMaxPathBytes - suffix_mb.size());
    dir = platform::PathFromSystem(dir_mb);
  }
  p.LogPath = dir + suffix;
  // Others may write into the download folder (a shared one): the downloads and the log
  // must not follow their links out of it.
  platform::GuardWritesBelow(p.DownloadDir);
}

}  // namespace zenpo
