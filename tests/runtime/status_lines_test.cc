#include "runtime/status_lines.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace zenpo {
namespace {

TEST(StatusTextTest, KeepsAtMostCapacityMinusOneCharacters) {
  StatusLinesRecord lines;
  lines.StateLine.Set(std::wstring(100, L'x'));
  EXPECT_EQ(lines.StateLine.Get(), std::wstring(51, L'x'));
  lines.UrlLine.Set(std::wstring(2000, L'u'));
  EXPECT_EQ(lines.UrlLine.Get().size(), 1075u);
  lines.ResumeLine.Set(L"Resume OK");
  lines.ClearAll();
  EXPECT_TRUE(lines.ResumeLine.empty());
  EXPECT_TRUE(lines.UrlLine.Get().empty());
}

// The drawing thread reads while the engine writes: every read must be one whole text.
TEST(StatusTextTest, ReadersNeverSeeATornText) {
  StatusLinesRecord lines;
  const std::wstring a(51, L'a'), b = L"b";
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; i < 20000; ++i) lines.ProgressLine.Set(i % 2 ? a : b);
    stop = true;
  });
  int reads = 0;
  while (!stop) {
    const std::wstring seen = lines.ProgressLine.Get();
    ASSERT_TRUE(seen.empty() || seen == a || seen == b);
    ++reads;
  }
  writer.join();
  EXPECT_GT(reads, 0);
}

}  // namespace
}  // namespace zenpo
