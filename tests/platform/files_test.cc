#include "platform/files.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

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
  EXPECT_EQ(ReadFile(dir / "c") + ReadFile(dir / "a"), "A");
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

}  // namespace
}  // namespace zenpo::platform
