#include "report/report_message.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>
#include <vector>

#include "config/program_paths.h"
#include "config/settings.h"
#include "platform/text.h"
#include "support/program_home.h"
#include "support/recording_message_box.h"

namespace zenpo {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class ReportMessageTest : public ::testing::Test {
 protected:
  test::ProgramHome home_;
  test::RecordingMessageBox boxes_;
};

TEST(LogTimestampTest, PadsWithSpacesNeverZeros) {
  platform::CalendarTime t;
  t.year = 2010, t.month = 3, t.day = 7, t.hour = 9, t.minute = 5, t.second = 2;
  EXPECT_EQ(FormatLogTimestamp(t), "2010/ 3/ 7  9: 5: 2 ");
  t.month = 12, t.day = 31, t.hour = 23, t.minute = 59, t.second = 58;
  EXPECT_EQ(FormatLogTimestamp(t), "2010/12/31 23:59:58 ");
}

TEST_F(ReportMessageTest, LevelThresholdsDecideLineAndBox) {
  struct Pair {
    int log, msg;
  };
  const Pair kPairs[] = {{1, 1}, {1, 9}, {2, 9}, {3, 9}};
  for (int loglevel : {0, 1, 9}) {
    for (int msglevel : {0, 1, 9}) {
      AppSettings.loglevel = loglevel;
      AppSettings.msglevel = msglevel;
      for (const Pair& p : kPairs) {
        std::filesystem::remove(ProgramPaths.logPathMb);
        const std::size_t boxes_before = boxes_.texts().size();
        ASSERT_EQ(ReportMessage(L"テキスト", p.log, p.msg), 0);
        const bool logged = !home_.LogText().empty();
        const bool shown = boxes_.texts().size() > boxes_before;
        SCOPED_TRACE(testing::Message() << "loglevel " << loglevel << " msglevel " << msglevel
                                        << " pair " << p.log << "," << p.msg);
        EXPECT_EQ(logged, p.log <= loglevel);
        EXPECT_EQ(shown, p.msg <= msglevel);
        if (shown) {
          EXPECT_EQ(boxes_.texts().back(), L"テキスト");
        }
      }
    }
  }
}

TEST_F(ReportMessageTest, LineIsTimestampTextAndNewline) {
  ASSERT_EQ(ReportMessage(L"ListFileURL->http://h/f.zip", 1, 9), 0);
  ASSERT_EQ(ReportMessage(L"", 1, 9), 0);
  const std::vector<std::string> lines = Lines(home_.LogText());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(20), "ListFileURL->http://h/f.zip");
  EXPECT_EQ(lines[1].size(), 20u) << "an empty text leaves only the timestamp";
  EXPECT_EQ(home_.LogText().back(), '\n');
}

TEST_F(ReportMessageTest, UnopenableLogGives102AndTwoBoxesAfterRetries) {
  home_.LoadSettingsText("DLPath=/nonexistent/zenpo-dir\nmsglevel=0\n");
  const auto start = Clock::now();
  EXPECT_EQ(ReportMessage(L"lost", 1, 1), rc::kLogUnusable);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(2000)) << "20 pauses of 100 ms";
  // The two failure boxes appear even with msglevel 0; the report's own text does not.
  const std::vector<std::wstring> boxes = boxes_.texts();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0], L"Logfileアクセスでerrorが発生しました");
  EXPECT_EQ(boxes[1], L"/nonexistent/zenpo-dir/ZENPO.log");
}

TEST_F(ReportMessageTest, NoLogLevelNeverTouchesTheLog) {
  home_.LoadSettingsText("DLPath=/nonexistent/zenpo-dir\nloglevel=0\nmsglevel=0\n");
  EXPECT_EQ(ReportMessage(L"text", 1, 1), 0);
  EXPECT_TRUE(boxes_.texts().empty());
}

TEST_F(ReportMessageTest, LogBlockedForUnderTwoSecondsCostsOnlyTheWait) {
  const std::filesystem::path dir = home_ / "later";
  home_.LoadSettingsText("DLPath=later\n");
  // Start early in a second, so a timestamp taken after the wait would differ.
  while (platform::LocalCalendarTime().milliseconds > 200) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const std::string expected = FormatLogTimestamp(platform::LocalCalendarTime());
  std::thread unblock([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    std::filesystem::create_directory(dir);
  });
  const ResultCode result = ReportMessage(L"late", 1, 9);
  unblock.join();
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(boxes_.texts().empty());
  EXPECT_EQ(home_.LogText(), expected + "late\n");
}

TEST_F(ReportMessageTest, ConcurrentReportsGiveWholeLinesOnly) {
  constexpr int kThreads = 8, kReports = 150;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      // Long texts make a torn or interleaved line easy to see.
      const std::wstring text(300, static_cast<wchar_t>(L'A' + t));
      for (int i = 0; i < kReports; ++i) ASSERT_EQ(ReportMessage(text, 1, 9), 0);
    });
  }
  for (auto& th : threads) th.join();
  const std::vector<std::string> lines = Lines(home_.LogText());
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kReports));
  std::map<char, int> per_thread;
  for (const std::string& line : lines) {
    ASSERT_EQ(line.size(), 320u);
    const std::string text = line.substr(20);
    ASSERT_EQ(text, std::string(300, text[0]));
    ++per_thread[text[0]];
  }
  for (const auto& [ch, count] : per_thread) EXPECT_EQ(count, kReports) << ch;
}

}  // namespace
}  // namespace zenpo
