// A program directory for one test: ProgramPaths and default AppSettings, reset afterwards.
#pragma once

#include "config/program_paths.h"
#include "config/settings.h"
#include "platform/files.h"
#include "support/temp_dir.h"

namespace zenpo::test {

class ProgramHome : public TempDir {
 public:
  ProgramHome() {
    ResetSettings();
    BuildProgramPaths(wpath());
  }
  ~ProgramHome() {
    ResetSettings();
    ProgramPaths = ProgramPathsRecord();
  }
  const TempDir& dir() const { return *this; }
  // Writes ZENPO.ini and loads it as start-up does.
  void LoadSettingsText(const std::string& ini) {
    WriteFile(*this / "ZENPO.ini", ini);
    ResetSettings();
    LoadSettings();
  }
  std::string LogText() const { return ReadFile(platform::NarrowPath(ProgramPaths.LogPath)); }
};

}  // namespace zenpo::test
