// A program directory for the list tests: the list and its working copies, the log and
// the message boxes of one test.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/program_paths.h"
#include "support/program_home.h"
#include "support/recording_message_box.h"

namespace zenpo::test {

class ListTest : public ::testing::Test {
 public:
  std::filesystem::path ListFile() const { return home_ / "ZENPO.txt"; }
  std::filesystem::path LockFile() const { return home_ / "!ZENPO.txt"; }
  std::filesystem::path NewFile() const { return home_ / "!!ZENPO.txt"; }

  void WriteList(const std::string& bytes) const { WriteFile(ListFile(), bytes); }
  std::string List() const { return ReadFile(ListFile()); }
  std::string Log() const { return home_.LogText(); }
  std::vector<std::wstring> Boxes() const { return boxes_.texts(); }

  // Whether the working copies are gone, as after every pass that ended well.
  bool NoWorkingCopies() const {
    return !std::filesystem::exists(LockFile()) && !std::filesystem::exists(NewFile());
  }

  // Points the log into a missing directory, so every due report fails with 102.
  void BreakLog() const {
    ProgramPaths.logPathMb = (home_ / "missing" / "ZENPO.log").string();
  }

 protected:
  ProgramHome home_;
  RecordingMessageBox boxes_;
};

}  // namespace zenpo::test
