#include "runtime/open_with_shell.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/temp_dir.h"

namespace zenpo {
namespace {

namespace fs = std::filesystem;

// Waits for a detached program to leave its mark.
bool WaitForFile(const fs::path& path) {
  for (int i = 0; i < 200; ++i) {
    if (fs::exists(path) && !test::ReadFile(path).empty()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return false;
}

void WriteScript(const fs::path& path, const std::string& body) {
  test::WriteFile(path, "#!/bin/sh\n" + body);
  fs::permissions(path, fs::perms::owner_all);
}

class OpenWithShellTest : public ::testing::Test {
 protected:
  OpenWithShellTest() : old_path_(getenv("PATH") ? getenv("PATH") : "") {}
  ~OpenWithShellTest() override { setenv("PATH", old_path_.c_str(), 1); }
  test::TempDir dir_;
  std::string old_path_;
};

TEST_F(OpenWithShellTest, MissingFileFailsSilently) {
  EXPECT_EQ(OpenWithShell((dir_ / "ZENPO_start.lnk").wstring()), 1);
}

TEST_F(OpenWithShellTest, StartsAnExecutableDetached) {
  const fs::path mark = dir_ / "mark";
  // A descriptor of ours without close-on-exec (a lock file, a socket) must not reach
  // the program, or it would outlive us there.
  const int ours = open("/dev/null", O_RDONLY);
  ASSERT_GE(ours, 3);
  WriteScript(dir_ / "hook", "if [ -e /proc/$$/fd/" + std::to_string(ours) +
                                 " ]; then echo leaked; else echo clean; fi > " +
                                 mark.string() + "\n");
  EXPECT_EQ(OpenWithShell((dir_ / "hook").wstring()), 0);
  close(ours);
  ASSERT_TRUE(WaitForFile(mark));
  EXPECT_EQ(test::ReadFile(mark), "clean\n");
}

TEST_F(OpenWithShellTest, HandsOtherFilesToTheDesktopOpener) {
  const fs::path bin = dir_ / "bin";
  fs::create_directory(bin);
  const fs::path mark = dir_ / "opened";
  WriteScript(bin / "xdg-open", "printf '%s' \"$1\" > " + mark.string() + "\n");
  const fs::path doc = dir_ / "ZENPO.txt";
  test::WriteFile(doc, "list");
  setenv("PATH", bin.c_str(), 1);
  EXPECT_EQ(OpenWithShell(doc.wstring()), 0);
  ASSERT_TRUE(WaitForFile(mark));
  EXPECT_EQ(test::ReadFile(mark), doc.string());
  // No opener at all: the request is refused.
  setenv("PATH", (dir_ / "nothing").c_str(), 1);
  EXPECT_EQ(OpenWithShell(doc.wstring()), 1);
}

}  // namespace
}  // namespace zenpo
