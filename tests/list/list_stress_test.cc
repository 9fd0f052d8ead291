// Several processes and threads, each appending, selecting and writing back as fast as it
// can, share one list; afterwards every line is there exactly once, changed at most in its
// status. POSIX only: the other processes are forks of the test.
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "list/append_list_url.h"
#include "list/list_fixture.h"
#include "list/select_next_entry.h"
#include "list/write_entry_result.h"
#include "platform/text.h"

namespace zenpo {
namespace {

using std::chrono::milliseconds;

using ListStressTest = test::ListFixture;

// Runs one party for 3 s, appending, selecting and writing back in turn; returns what it
// appended, then any unexpected code.
std::string RunStressParty(const std::string& id) {
  std::string appended, report;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  // Calls op until the list is free; false after any other outcome or 5 s past the end.
  auto until_free = [&](const char* what, ResultCode done, auto op) {
    for (ResultCode code; (code = op()) != done; std::this_thread::sleep_for(milliseconds(1))) {
      const bool busy = code == rc::kSelectInUse || code == rc::kWriteInUse;
      if (busy && std::chrono::steady_clock::now() < deadline + std::chrono::seconds(5)) continue;
      report += std::string("unexpected ") + what + " " + std::to_string(code) + "\n";
      return false;
    }
    return true;
  };
  for (int n = 0; std::chrono::steady_clock::now() < deadline; ++n) {
    const std::string url = "http://p" + id + "/" + std::to_string(n) + ".zip";
    if (until_free("append", rc::kWriteDone, [&] { return AppendListUrl(platform::FromCodePage(url)); })) {
      appended += url + "\n";
    }
    SelectedEntry e;
    until_free("select", rc::kSelectDone, [&] { return e = {}, SelectNextEntry(&e); });
    if (!e.url.empty()) until_free("write-back", rc::kWriteDone, [&] { return WriteEntryResult(e.url, n % 2 ? 600 : 900); });
  }
  return appended + report;
}

TEST_F(ListStressTest, ProcessesAndThreadsShareOneListWithoutLosingALine) {
  std::string list = "# note |with| bars\n900|http://done/1.zip\nhttp://seed/crlf.zip\r\n" + std::string(7000, '#') + "\n";
  for (int i = 0; i < 20; ++i) list += "http://seed/" + std::to_string(i) + ".zip|Referer=http://r/\n";
  WriteList(list);
  std::vector<pid_t> children;
  for (int i = 0; i < 3; ++i) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {  // the child hands back its lines and any box it saw
      alarm(60);       // a child stuck on a lock a thread of the parent held at the fork ends
      std::string report = RunStressParty(std::to_string(i));
      for (const std::wstring& box : boxes_.texts()) report += "unexpected box " + platform::ToCodePage(box) + "\n";
      test::WriteFile(home_ / ("outcome-" + std::to_string(i)), report);
      _exit(0);
    }
    children.push_back(pid);
  }
  std::string reports;
  std::thread other_thread([&] { reports = RunStressParty("t"); });
  const std::string mine = RunStressParty("m");
  other_thread.join();
  reports += mine;
  for (std::size_t i = 0; i < children.size(); ++i) {
    int status = -1;
    EXPECT_EQ(waitpid(children[i], &status, 0), children[i]);
    EXPECT_EQ(status, 0);
    reports += test::ReadFile(home_ / ("outcome-" + std::to_string(i)));
  }
  std::map<std::string, int> expected;  // every line once, changed at most in its status
  std::istringstream lines(list + reports);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_FALSE(line.starts_with("unexpected")) << line;
    ++expected[line];
  }
  EXPECT_GT(expected.size(), 100u);  // met under ThreadSanitizer on a busy machine too
  EXPECT_TRUE(boxes_.texts().empty() && NoWorkingCopies());
  int marked = 0;
  std::istringstream now(List());
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
