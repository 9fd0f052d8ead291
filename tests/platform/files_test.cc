#include "platform/files.h"

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

TEST(RenameNoReplaceTest, NeverReplacesAndNeedsTheSource) {
  test::TempDir dir;
  WriteFile(dir / "a", "A");
  WriteFile(dir / "b", "B");
  EXPECT_FALSE(RenameNoReplace((dir / "a").wstring(), (dir / "b").wstring()));
  EXPECT_EQ(ReadFile(dir / "b"), "B");
  EXPECT_EQ(ReadFile(dir / "a"), "A");
  EXPECT_FALSE(RenameNoReplace((dir / "missing").wstring(), (dir / "c").wstring()));
  EXPECT_FALSE(std::filesystem::exists(dir / "c"));
  EXPECT_TRUE(RenameNoReplace((dir / "a").wstring(), (dir / "c").wstring()));
  EXPECT_FALSE(std::filesystem::exists(dir / "a"));
  EXPECT_EQ(ReadFile(dir / "c"), "A");
}

TEST(RenameNoReplaceTest, ExactlyOneOfManyThreadsTakesTheName) {
  test::TempDir dir;
  for (int round = 0; round < 50; ++round) {
    WriteFile(dir / "list", "x");
    std::atomic<int> winners{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
      threads.emplace_back([&] {
        if (RenameNoReplace((dir / "list").wstring(), (dir / "lock").wstring())) ++winners;
      });
    }
    for (auto& th : threads) th.join();
    ASSERT_EQ(winners.load(), 1);
    ASSERT_TRUE(RemoveFile((dir / "lock").wstring()));
  }
}

TEST(FileTimeTest, LastWriteTimeRoundTripsAndNeverCreatesAFile) {
  test::TempDir dir;
  const std::wstring path = (dir / "f").wstring();
  WriteFile(dir / "f", "data");
  CalendarTime t;
  t.year = 2010, t.month = 3, t.day = 7, t.hour = 9, t.minute = 5, t.second = 2;
  const FileTime when = CalendarToFileTime(t);
  ASSERT_EQ(WriteLastWriteTime(path, when), SetTimeResult::kOk);
  FileTime read = 0;
  ASSERT_TRUE(ReadLastWriteTime(path, &read));
  EXPECT_EQ(read, when);
  EXPECT_EQ(ReadFile(dir / "f"), "data");

  EXPECT_EQ(WriteLastWriteTime((dir / "none").wstring(), when), SetTimeResult::kOpenFailed);
  EXPECT_FALSE(std::filesystem::exists(dir / "none"));
  EXPECT_FALSE(ReadLastWriteTime((dir / "none").wstring(), &read));
  EXPECT_FALSE(ReadLastWriteTime(dir.wpath(), &read)) << "a directory has no file time";
}

TEST(ClockTest, FileTimesCountFrom1601) {
  CalendarTime t;
  EXPECT_EQ(CalendarToFileTime(t), 0u);
  t.year = 1970;
  EXPECT_EQ(CalendarToFileTime(t), 116444736000000000ULL);
  t.year = 2000, t.month = 2, t.day = 29, t.hour = 12, t.milliseconds = 5;
  EXPECT_EQ(CalendarToFileTime(t), (951825600000ULL + 5 + 11644473600000ULL) * 10000);
}

}  // namespace
}  // namespace zenpo::platform
