// Processes (forks of the test, so POSIX only) and threads share one list at full speed.
#include <sys/wait.h>
#include <unistd.h>

#include <future>
#include <map>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "list/append_list_url.h"
#include "list/select_next_entry.h"
#include "list/write_entry_result.h"
#include "platform/text.h"
#include "support/program_home.h"
#include "support/recording_message_box.h"

namespace zenpo {
namespace {

using std::chrono::milliseconds;

// One party for 3 s; returns the lines it appended.
std::string RunStressParty(const std::string& id) {
  std::string appended;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  // Calls op until the list is free; false after any other outcome or 5 s past the end.
  auto until_free = [&](ResultCode done, auto op) {
    for (ResultCode code; (code = op()) != done; std::this_thread::sleep_for(milliseconds(1))) {
      const bool busy = code == rc::kSelectInUse || code == rc::kWriteInUse;
      if (busy && std::chrono::steady_clock::now() < deadline + std::chrono::seconds(5)) continue;
      ADD_FAILURE() << "unexpected code " << code;
      return false;
    }
    return true;
  };
  for (int n = 0; std::chrono::steady_clock::now() < deadline; ++n) {
    const std::string url = "http://p" + id + "/" + std::to_string(n) + ".zip";
    if (until_free(rc::kWriteDone, [&] { return AppendListUrl(platform::FromCodePage(url)); })) appended += url + "\n";
    SelectedEntry e;
    until_free(rc::kSelectDone, [&] { return e = {}, SelectNextEntry(&e); });
    if (!e.url.empty()) until_free(rc::kWriteDone, [&] { return WriteEntryResult(e.url, n % 2 ? 600 : 900); });
  }
  return appended;
}

TEST(ListStressTest, ProcessesAndThreadsShareOneListWithoutLosingALine) {
  test::ProgramHome home;
  test::RecordingMessageBox boxes;
  std::string list = "# note |with| bars\n900|http://done/1.zip\nhttp://seed/crlf.zip\r\n" + std::string(7000, '#') + "\n";
  for (int i = 0; i < 20; ++i) list += "http://seed/" + std::to_string(i) + ".zip|Referer=http://r/\n";
  test::WriteFile(home / "ZENPO.txt", list);
  for (int i = 0; i < 3; ++i) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {  // the child hands back its lines; its failures, as its status
      alarm(60);       // ends a child stuck on a lock that a parent's thread held at the fork
      test::WriteFile(home / ("outcome-" + std::to_string(i)), RunStressParty(std::to_string(i)));
      EXPECT_TRUE(boxes.texts().empty());
      _exit(::testing::Test::HasFailure());
    }
  }
  auto other_thread = std::async(std::launch::async, RunStressParty, "t");
  std::string reports = RunStressParty("m") + other_thread.get();
  for (int i = 0; i < 3; ++i) {
    int status = -1;
    EXPECT_TRUE(wait(&status) > 0 && status == 0);
    reports += test::ReadFile(home / ("outcome-" + std::to_string(i)));
  }
  std::map<std::string, int> expected;  // every line once, changed at most in its status
  std::istringstream lines(list + reports);
  for (std::string line; std::getline(lines, line);) ++expected[line];
  EXPECT_GT(expected.size(), 100u);  // met under ThreadSanitizer on a busy machine too
  EXPECT_TRUE(boxes.texts().empty());
  int marked = 0;
  std::istringstream now(test::ReadFile(home / "ZENPO.txt"));
  for (std::string line; std::getline(now, line);) {
    if (!expected.contains(line) && (line.starts_with("600|") || line.starts_with("900|"))) {
      line.erase(0, 4);
      ++marked;
    }
    ASSERT_GT(expected[line]--, 0) << "altered, foreign or doubled line: " << line.substr(0, 80);
  }
  for (const auto& [line, count] : expected) EXPECT_EQ(count, 0) << "lost line: " << line.substr(0, 80);
  EXPECT_GT(marked, 20);
}

}  // namespace
}  // namespace zenpo
