// A program directory of the test's own with its list, and the boxes the list code shows.
#pragma once

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/program_home.h"
#include "support/recording_message_box.h"

namespace zenpo::test {

class ListFixture : public ::testing::Test {
 protected:
  std::filesystem::path ListFile() const { return home_ / "ZENPO.txt"; }
  std::filesystem::path LockFile() const { return home_ / "!ZENPO.txt"; }
  std::filesystem::path NewFile() const { return home_ / "!!ZENPO.txt"; }
  void WriteList(const std::string& bytes) const { WriteFile(ListFile(), bytes); }
  std::string List() const { return ReadFile(ListFile()); }
  // Neither working copy of a rewrite pass is left behind.
  bool NoWorkingCopies() const {
    return !std::filesystem::exists(LockFile()) && !std::filesystem::exists(NewFile());
  }
  ProgramHome home_;
  RecordingMessageBox boxes_;
};

}  // namespace zenpo::test
