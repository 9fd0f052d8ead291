#include "engine/local_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace zenpo {
namespace {

namespace fs = std::filesystem;

TEST(LocalFileTest, SizeAndTimeOfWhatIsThere) {
  test::TempDir dir;
  const std::string file = (dir / "f").string();
  EXPECT_EQ(LocalFileSize(file), 0);
  EXPECT_EQ(LocalFileTime(file), 0u);
  test::WriteFile(dir / "f", "12345");
  EXPECT_EQ(LocalFileSize(file), 5);
  EXPECT_NE(LocalFileTime(file), 0u);
  // A directory in the file's place is no file to resume.
  fs::create_directory(dir / "d");
  EXPECT_EQ(LocalFileSize((dir / "d").string()), 0);
  // Sizes beyond 32 bits (a sparse file takes no space).
  fs::resize_file(dir / "f", 5LL << 30);
  EXPECT_EQ(LocalFileSize(file), 5LL << 30);
}

TEST(LocalFileTest, AppendsThroughAtOnceAndEmpties) {
  test::TempDir dir;
  const std::string file = (dir / "f").string();
  AppendFile out;
  ASSERT_TRUE(out.Open(file));
  ASSERT_TRUE(out.Write("abc", 3));
  // Measured from the file while it is still open: nothing waits in a buffer.
  EXPECT_EQ(LocalFileSize(file), 3);
  ASSERT_TRUE(out.Write("", 0));
  out.Close();
  ASSERT_TRUE(out.Open(file));
  ASSERT_TRUE(out.Write("de", 2));
  out.Close();
  EXPECT_EQ(test::ReadFile(dir / "f"), "abcde");
  EXPECT_TRUE(EmptyLocalFile(file));
  EXPECT_EQ(LocalFileSize(file), 0);
  EXPECT_FALSE(EmptyLocalFile((dir / "missing/f").string()));
  EXPECT_FALSE(out.Open((dir / "missing/f").string()));
}

}  // namespace
}  // namespace zenpo
