// A program directory for one test: ProgramPaths and AppSettings point into a fresh
// TempDir with default settings, and are reset again afterwards.
#pragma once

#include "support/temp_dir.h"

namespace zenpo::test {

class ProgramHome {
 public:
  ProgramHome();
  ~ProgramHome();
  const TempDir& dir() const { return dir_; }
  std::filesystem::path operator/(const std::string& name) const { return dir_ / name; }
  // Writes ZENPO.ini and loads it as start-up does.
  void LoadSettingsText(const std::string& ini);
  std::string LogText() const;

 private:
  TempDir dir_;
};

}  // namespace zenpo::test
