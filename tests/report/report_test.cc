// ReportMessage: the log line, the thresholds, the retries and whole lines under load.
#include "report/report_message.h"

#include <gtest/gtest.h>

#include <thread>

#include "support/program_home.h"
#include "support/recording_message_box.h"

namespace zenpo {
namespace {

TEST(ReportMessageTest, LevelsDecideLineAndBoxLinesStayWholeAndALogThatStaysBlockedGives102) {
  test::ProgramHome home;
  test::RecordingMessageBox boxes;
  for (int level : {0, 1, 2}) {
    AppSettings.loglevel = AppSettings.msglevel = level;
    platform::RemoveFile(ProgramPaths.LogPath);
    ASSERT_EQ(ReportMessage(L"テキスト", 1, 2), 0);
    EXPECT_EQ(home.LogText().size(), level >= 1 ? 20u + 13u : 0u) << level;
  }
  EXPECT_EQ(boxes.texts(), std::vector<std::wstring>{L"テキスト"}) << "shown at level 2 only";
  EXPECT_TRUE(home.LogText().ends_with(" テキスト\n"));
  // Concurrent reports give whole lines only.
  platform::RemoveFile(ProgramPaths.LogPath);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 150; ++i) ReportMessage(std::wstring(300, static_cast<wchar_t>(L'A' + t)), 1, 9);
    });
  }
  for (auto& th : threads) th.join();
  std::string expected;
  const std::string log = home.LogText();
  for (std::size_t at = 0; at < log.size(); at += 321) expected += log.substr(at, 20) + std::string(300, log[at + 20]) + "\n";
  EXPECT_EQ(log.size(), 8u * 150 * 321);
  EXPECT_EQ(log, expected);
  // A log blocked briefly costs the wait; one that stays blocked gives 102.
  home.LoadSettingsText("DLPath=later\n");
  std::thread unblock([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    std::filesystem::create_directory(home / "later");
  });
  EXPECT_EQ(ReportMessage(L"late", 1, 9), 0);
  unblock.join();
  EXPECT_TRUE(home.LogText().ends_with(" late\n"));
  home.LoadSettingsText("DLPath=/nonexistent/zenpo-dir\nmsglevel=0\n");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ReportMessage(L"lost", 1, 1), rc::kLogUnusable);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000)) << "20 pauses of 100 ms";
  // The two failure boxes appear even with msglevel 0; the report's own text does not.
  EXPECT_EQ(boxes.texts(), (std::vector<std::wstring>{L"テキスト", L"Logfileアクセスでerrorが発生しました",
                                                      L"/nonexistent/zenpo-dir/ZENPO.log"}));
}

// A credential never reaches the log or a box; the rest of its line does.
TEST(ReportMessageTest, CredentialsInHeaderLinesAreMasked) {
  test::ProgramHome home;
  test::RecordingMessageBox boxes;
  AppSettings.loglevel = 3;
  AppSettings.msglevel = 9;
  const std::pair<std::wstring, std::wstring> cases[] = {
      {L"Accept: */*\r\nRange: bytes=0-\r\nAuthorization: Basic dXNlcjpwYXNz\r\n",
       L"Accept: */*\r\nRange: bytes=0-\r\nAuthorization: Basic ***\r\n"},
      {L"HTTPresponse->HTTP/1.1 200 OK\r\nproxy-authorization :Bearer dXNlcjpwYXNz\r\nX: 1",
       L"HTTPresponse->HTTP/1.1 200 OK\r\nproxy-authorization :Bearer ***\r\nX: 1"},
      {L"Authorization:dXNlcjpwYXNz", L"Authorization:***"},
      {L"ListFileURL->http://h/Authorization: x", L"ListFileURL->http://h/Authorization: x"},
  };
  for (const auto& [text, masked] : cases) {
    ASSERT_EQ(ReportMessage(text, 1, 9), 0);
    EXPECT_EQ(boxes.texts().back(), masked);
  }
  const std::string log = home.LogText();
  EXPECT_EQ(log.find("dXNlcjpwYXNz"), std::string::npos) << log;
  EXPECT_NE(log.find("Authorization: Basic ***"), std::string::npos) << log;
}

}  // namespace
}  // namespace zenpo
