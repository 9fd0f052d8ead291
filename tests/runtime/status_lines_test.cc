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
    for (int i = 0; !stop; ++i) lines.ProgressLine.Set(i % 2 ? a : b);
  });
  for (int i = 0; i < 20000; ++i) {
    const std::wstring seen = lines.ProgressLine.Get();
    if (!(seen.empty() || seen == a || seen == b)) {
      ADD_FAILURE() << "torn text of " << seen.size() << " characters";
      break;
    }
  }
  stop = true;
  writer.join();
}

}  // namespace
}  // namespace zenpo
