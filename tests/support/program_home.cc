// ProgramHome: paths and settings of a test program directory.
#include "support/program_home.h"

#include "config/program_paths.h"
#include "config/settings.h"

namespace zenpo::test {

ProgramHome::ProgramHome() {
  ResetSettings();
  BuildProgramPaths(dir_.wpath());
}

ProgramHome::~ProgramHome() {
  ResetSettings();
  ProgramPaths = ProgramPathsRecord();
}

void ProgramHome::LoadSettingsText(const std::string& ini) {
  WriteFile(dir_ / "ZENPO.ini", ini);
  ResetSettings();
  LoadSettings();
}

std::string ProgramHome::LogText() const { return ReadFile(ProgramPaths.logPathMb); }

}  // namespace zenpo::test
