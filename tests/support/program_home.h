// A program directory for one test: ProgramPaths and AppSettings point into a fresh
// TempDir with default settings, and are reset again afterwards.
#pragma once

#include "config/program_paths.h"
#include "config/settings.h"
#include "support/temp_dir.h"

namespace zenpo::test {

class ProgramHome {
 public:
  ProgramHome() {
    ResetSettings();
    BuildProgramPaths(dir_.wpath());
  }
  ~ProgramHome() {
    ResetSettings();
    ProgramPaths = ProgramPathsRecord();
  }
  const TempDir& dir() const { return dir_; }
  std::filesystem::path operator/(const std::string& name) const { return dir_ / name; }
  // Writes ZENPO.ini and loads it as start-up does.
  void LoadSettingsText(const std::string& ini) {
    WriteFile(dir_ / "ZENPO.ini", ini);
    ResetSettings();
    LoadSettings();
  }
  std::string LogText() const { return ReadFile(ProgramPaths.logPathMb); }

 private:
  TempDir dir_;
};

}  // namespace zenpo::test
