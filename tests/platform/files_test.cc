#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/posix/process_posix.h"
#include "platform/shell.h"
#include "support/daemon_process.h"
#include "support/other_user.h"
#include "support/temp_dir.h"

namespace zenpo::platform {
namespace {

using test::ReadFile;
using test::WriteFile;

TEST(RenameNoReplaceTest, NeverReplacesNeedsTheSourceAndOneOfManyThreadsWins) {
  test::TempDir dir;
  auto rename = [&](const char* from, const char* to) {
    return RenameNoReplace((dir / from).wstring(), (dir / to).wstring());
  };
  WriteFile(dir / "a", "A");
  WriteFile(dir / "b", "B");
  EXPECT_FALSE(rename("a", "b"));
  EXPECT_EQ(ReadFile(dir / "b") + ReadFile(dir / "a"), "BA");
  EXPECT_FALSE(rename("missing", "c"));
  EXPECT_TRUE(rename("a", "c"));
  for (int round = 0; round < 20; ++round) {
    std::atomic<int> winners{0};
    std::vector<std::thread> threads;
    for (const char* from : {"b", "c", "b", "c"}) threads.emplace_back([&, from] { winners += rename(from, "lock"); });
    for (auto& th : threads) th.join();
    ASSERT_EQ(winners.load(), 1);
    ASSERT_TRUE(rename("lock", ReadFile(dir / "lock") == "A" ? "c" : "b"));
  }
}

TEST(FileTimeTest, TheCalendarTimeReachesTheFileAndNothingElseChanges) {
  test::TempDir dir;
  const std::wstring path = (dir / "f").wstring();
  WriteFile(dir / "f", "data");
  CalendarTime t;
  t.year = 2000, t.month = 2, t.day = 29, t.hour = 12, t.second = 3, t.milliseconds = 5;
  const FileTime when = CalendarToFileTime(t);
  ASSERT_EQ(WriteLastWriteTime(path, when), SetTimeResult::kOk);
  struct stat st;
  ASSERT_EQ(stat((dir / "f").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 951825603) << "2000-02-29 12:00:03 UTC";
  EXPECT_EQ(st.st_mtim.tv_nsec, 5'000'000);
  FileTime read = 0;
  ASSERT_TRUE(ReadLastWriteTime(path, &read));
  EXPECT_EQ(read, when);
  EXPECT_EQ(ReadFile(dir / "f"), "data");

  EXPECT_EQ(WriteLastWriteTime((dir / "none").wstring(), when), SetTimeResult::kOpenFailed);
  EXPECT_FALSE(std::filesystem::exists(dir / "none"));
  EXPECT_FALSE(ReadLastWriteTime(dir.wpath(), &read)) << "a directory has no file time";
}

// Below the guarded folder another user may plant links; the user's own and root's are
// followed, theirs never, however they are chained. (The download test walks a plain
// link of each kind; here are the chain and the directories.)
TEST(GuardedWritesTest, OnlyLinksOfTheUserOrRootArePassedAndOnlyTrustedHooksRun) {
  const auto other = test::OtherUserAccount();
  if (!other) GTEST_SKIP() << test::kNoOtherUser;
  test::TempDir dir;
  namespace fs = std::filesystem;
  fs::create_directories(dir / "dl");
  fs::create_directories(dir / "out");
  auto link = [&](const fs::path& target, const std::string& name, bool theirs) {
    fs::create_symlink(target, dir / name);
    if (theirs) {
      EXPECT_EQ(lchown((dir / name).c_str(), other->uid, other->gid), 0);
    }
  };
  link("../out", "dl/mine", false);
  link("../out", "dl/theirs", true);
  link(dir / "dl/theirs", "dl/mine-to-theirs", false);
  GuardWritesBelow((dir / "dl").wstring());
  auto path = [&](const char* name) { return (dir / name).wstring(); };
  EXPECT_TRUE(MakeDirectory(path("dl/mine/sub")) && fs::is_directory(dir / "out/sub")) << "the user's own link";
  AppendDescriptor out;
  EXPECT_FALSE(out.Open(path("dl/mine-to-theirs/b")));
  EXPECT_FALSE(MakeDirectory((dir / "dl/theirs/c").wstring()));
  EXPECT_FALSE(fs::exists(dir / "out/b") || fs::exists(dir / "out/c"));
  EXPECT_EQ(ForeignLinkOnPath((dir / "dl/mine-to-theirs/b").wstring()), (dir / "dl/theirs").wstring());
  GuardWritesBelow(L"");

  // A hook: the file and each link to it the user's or root's, the file changed by no one else.
  // This one notes its standard output and its descriptors.
  const std::string ran = (dir / "ran").string();
  WriteFile(dir / "hook", "#!/bin/sh\no=$(readlink /proc/$$/fd/1)\n{ echo $o; ls /proc/self/fd; } >" + ran + ".new\nmv " + ran + ".new " + ran + "\n");
  fs::copy_file(dir / "hook", dir / "open-hook");
  fs::copy_file(dir / "hook", dir / "their-hook");
  EXPECT_EQ(chown((dir / "their-hook").c_str(), other->uid, other->gid), 0);
  chmod((dir / "hook").c_str(), 0755);
  chmod((dir / "open-hook").c_str(), 0775);
  link(dir / "hook", "my-link", false);
  link(dir / "hook", "their-link", true);
  link("their-hook", "my-link-to-theirs", false);
  link("missing", "dangling", false);
  const std::pair<const char*, RunTrust> hooks[] = {
      {"hook", RunTrust::kTrusted}, {"my-link", RunTrust::kTrusted}, {"open-hook", RunTrust::kUntrusted},
      {"their-hook", RunTrust::kUntrusted}, {"their-link", RunTrust::kUntrusted},
      {"my-link-to-theirs", RunTrust::kUntrusted}, {"dangling", RunTrust::kMissing}, {"missing", RunTrust::kMissing}};
  for (const auto& [name, trust] : hooks) EXPECT_EQ(TrustToRun((dir / name).wstring()), trust) << name;
  // A hook that starts is told apart from one whose interpreter is gone. The one started
  // writes to no terminal of ours and holds none of our descriptors.
  WriteFile(dir / "broken-hook", "#!/nowhere/sh\n");
  chmod((dir / "broken-hook").c_str(), 0755);
  const int ours = open("/dev/null", O_RDONLY);  // not close-on-exec
  EXPECT_TRUE(ShellOpen(path("hook")));
  EXPECT_FALSE(ShellOpen(path("broken-hook")));
  ASSERT_TRUE(test::Eventually([&] { return fs::exists(ran); }, std::chrono::seconds(10)));
  const std::string noted = ReadFile(ran);
  EXPECT_EQ(noted.substr(0, noted.find("\n0\n")), "/dev/null");
  EXPECT_EQ(noted.find("\n" + std::to_string(ours) + "\n"), std::string::npos) << noted;
  close(ours);
  // A document goes to the desktop's opener on PATH, and is not opened without one. An
  // unset PATH means the system's default path, as in the shell.
  fs::create_directories(dir / "bin");
  WriteFile(dir / "bin/xdg-open", "#!/bin/sh\necho \"$1\" >" + ran + "-opened\n");
  chmod((dir / "bin/xdg-open").c_str(), 0755);
  WriteFile(dir / "notes.txt", "");
  test::ScopedEnv search_path("PATH", (dir / "bin").c_str());
  EXPECT_TRUE(ShellOpen(path("notes.txt")));
  EXPECT_TRUE(test::Eventually([&] { return ReadFile(ran + "-opened") == (dir / "notes.txt").string() + "\n"; },
                               std::chrono::seconds(10)));
  setenv("PATH", (dir / "dl").c_str(), 1);
  EXPECT_FALSE(ShellOpen(path("notes.txt")));
  unsetenv("PATH");
  EXPECT_NE(FindOnPath("sh"), "");
}

}  // namespace
}  // namespace zenpo::platform
