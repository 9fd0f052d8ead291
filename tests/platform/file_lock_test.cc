#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files.h"
#include "support/temp_dir.h"

namespace zenpo::platform {
namespace {

using Result = FileWriteLock::Result;

// Two holders stand for two processes: the lock belongs to each open of the file.
TEST(FileWriteLockTest, OneHolderAtATimeAndOnlyAnUnusedNewFileIsDropped) {
  test::TempDir dir;
  const std::wstring path = (dir / "f.bin").wstring();
  FileWriteLock a, b;
  ASSERT_EQ(a.Acquire(path), Result::kLocked);
  EXPECT_TRUE(std::filesystem::exists(dir / "f.bin"));
  EXPECT_EQ(b.Acquire(path), Result::kInUse);
  // The holder's own writes pass through other handles.
  test::WriteFile(dir / "f.bin", "data");
  a.Release(true);
  EXPECT_EQ(test::ReadFile(dir / "f.bin"), "data") << "a file with content stays";

  ASSERT_EQ(b.Acquire(path), Result::kLocked);
  b.Release(true);
  EXPECT_TRUE(std::filesystem::exists(dir / "f.bin")) << "b found the file; it is not b's to drop";

  const std::wstring fresh = (dir / "new.bin").wstring();
  ASSERT_EQ(a.Acquire(fresh), Result::kLocked);
  a.Release(true);
  EXPECT_FALSE(std::filesystem::exists(dir / "new.bin"));

  EXPECT_EQ(a.Acquire((dir / "no" / "f.bin").wstring()), Result::kUnavailable);
  EXPECT_FALSE(std::filesystem::exists(dir / "no"));
}

}  // namespace
}  // namespace zenpo::platform
