// Several processes with a selecting and an appending thread each work on one list at
// once; afterwards every line is accounted for. The test binary runs itself as the other
// processes (the child test below does nothing unless started that way).
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "config/program_paths.h"
#include "config/settings.h"
#include "list/append_list_url.h"
#include "list/list_test_home.h"
#include "list/select_next_entry.h"
#include "list/write_entry_result.h"
#include "platform/text.h"

extern char** environ;

namespace zenpo {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

constexpr char kDirVariable[] = "ZENPO_LIST_STRESS_DIR";
constexpr char kIdVariable[] = "ZENPO_LIST_STRESS_ID";
constexpr int kChildren = 3;
constexpr milliseconds kDuration(3000);

// What one process saw: the URLs it appended and every code it did not expect.
struct WorkerOutcome {
  std::vector<std::string> appended;
  std::vector<std::string> unexpected;
  int in_use = 0;  // refused attempts: proof that the parties did meet
};

// The download cycle and the clipboard watcher of one instance, fast-forwarded: the
// cycle selects, "downloads" and writes back; the watcher appends new URLs. Both retry
// while the list is in use, as their real counterparts do.
WorkerOutcome RunWorker(int id) {
  WorkerOutcome outcome;
  std::mutex mutex;
  const auto deadline = std::chrono::steady_clock::now() + kDuration;
  // A list that stays in use this long is lost or blocked: a fault, not a wait.
  const auto give_up = deadline + std::chrono::seconds(5);
  // Calls op until the list is free; false after any other outcome than done.
  auto until_free = [&](const char* what, ResultCode done, ResultCode in_use, auto op) {
    for (;;) {
      const ResultCode code = op();
      if (code == done) return true;
      {
        std::lock_guard<std::mutex> lock(mutex);
        if (code != in_use || std::chrono::steady_clock::now() > give_up) {
          outcome.unexpected.push_back(std::string(what) + " " + std::to_string(code));
          return false;
        }
        ++outcome.in_use;
      }
      std::this_thread::sleep_for(milliseconds(1));
    }
  };
  std::thread cycle([&] {
    for (int jobs = 0; std::chrono::steady_clock::now() < deadline;) {
      SelectedEntry entry;
      until_free("select", rc::kSelectDone, rc::kSelectInUse, [&] {
        entry = {};
        return SelectNextEntry(&entry);
      });
      std::this_thread::sleep_for(milliseconds(1));
      if (entry.url.empty()) continue;
      // Passing and final results by turns, so entries come round again.
      const ResultCode result = ++jobs % 2 == 0 ? rc::kDownloaded : rc::kTransferShort;
      until_free("write-back", rc::kWriteDone, rc::kWriteInUse,
                 [&] { return WriteEntryResult(entry.url, result); });
    }
  });
  std::thread watcher([&] {
    for (int n = 0; std::chrono::steady_clock::now() < deadline; ++n) {
      const std::string url = "http://p" + std::to_string(id) + "/" + std::to_string(n) + ".zip";
      if (until_free("append", rc::kWriteDone, rc::kWriteInUse,
                     [&] { return AppendListUrl(platform::FromCodePage(url)); })) {
        std::lock_guard<std::mutex> lock(mutex);
        outcome.appended.push_back(url);
      }
      std::this_thread::sleep_for(milliseconds(2));
    }
  });
  cycle.join();
  watcher.join();
  return outcome;
}

fs::path OutcomeFile(const fs::path& dir, int id) {
  return dir / ("outcome-" + std::to_string(id) + ".txt");
}

// Started by the test below in a process of its own.
TEST(ListStressChild, Run) {
  const char* dir = std::getenv(kDirVariable);
  const char* id = std::getenv(kIdVariable);
  if (dir == nullptr || id == nullptr) GTEST_SKIP() << "runs only as a stress test process";
  test::RecordingMessageBox boxes;
  ResetSettings();
  BuildProgramPaths(platform::FromCodePage(dir));
  const WorkerOutcome outcome = RunWorker(std::atoi(id));
  std::ofstream out(OutcomeFile(dir, std::atoi(id)));
  out << "in-use " << outcome.in_use << "\n";
  for (const std::string& url : outcome.appended) out << "appended " << url << "\n";
  for (const std::string& u : outcome.unexpected) out << "unexpected " << u << "\n";
  for (const std::wstring& box : boxes.texts()) {
    out << "unexpected box " << platform::ToCodePage(box) << "\n";
  }
}

pid_t StartChild(const fs::path& dir, int id) {
  std::vector<std::string> env = {std::string(kDirVariable) + "=" + dir.string(),
                                  std::string(kIdVariable) + "=" + std::to_string(id)};
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string exe = "/proc/self/exe";
  std::string filter = "--gtest_filter=ListStressChild.Run";
  char* argv[] = {exe.data(), filter.data(), nullptr};
  // The child's test report would only clutter this one's; failures come back in its
  // outcome file, crashes through stderr and its exit status.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int failed = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return failed == 0 ? pid : -1;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class ListStressTest : public test::ListTest {};

TEST_F(ListStressTest, ProcessesAndThreadsShareOneListWithoutLosingALine) {
  // The user's lines: notes, finished and fresh entries, options, a CR LF line and a
  // note longer than one piece.
  std::vector<std::string> original;
  for (int i = 0; i < 10; ++i) original.push_back("# note " + std::to_string(i) + " |with| bars");
  for (int i = 0; i < 20; ++i) {
    original.push_back("http://seed/" + std::to_string(i) + ".zip|Referer=http://r/" +
                       std::to_string(i));
  }
  for (int i = 0; i < 10; ++i) original.push_back("900|http://done/" + std::to_string(i) + ".zip");
  original.push_back("http://seed/crlf.zip\r");
  original.push_back(std::string(7000, '#'));
  std::string list;
  for (const std::string& l : original) list += l + "\n";
  WriteList(list);

  std::vector<pid_t> children;
  for (int id = 1; id <= kChildren; ++id) {
    const pid_t pid = StartChild(home_.dir().path(), id);
    ASSERT_GT(pid, 0);
    children.push_back(pid);
  }
  const WorkerOutcome own = RunWorker(0);
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  // The only failures allowed were in-use codes, which the workers rode out.
  std::vector<std::string> appended = own.appended;
  int in_use = own.in_use;
  EXPECT_TRUE(own.unexpected.empty()) << own.unexpected.front();
  for (int id = 1; id <= kChildren; ++id) {
    for (const std::string& line : Lines(test::ReadFile(OutcomeFile(home_.dir().path(), id)))) {
      if (line.starts_with("appended ")) {
        appended.push_back(line.substr(9));
      } else if (line.starts_with("in-use ")) {
        in_use += std::atoi(line.c_str() + 7);
      } else {
        ADD_FAILURE() << "process " << id << ": " << line;
      }
    }
  }
  EXPECT_TRUE(Boxes().empty());
  EXPECT_TRUE(NoWorkingCopies());
  EXPECT_GT(appended.size(), 100u);
  EXPECT_GT(in_use, 0);

  // Every line written is there exactly once, unchanged but for its status column.
  std::map<std::string, int> expected;
  for (const std::string& l : original) ++expected[l];
  for (const std::string& url : appended) ++expected[url];
  int marked = 0;
  for (const std::string& line : Lines(List())) {
    auto it = expected.find(line);
    if (it == expected.end() && line.size() > 4 && line[3] == '|') {
      it = expected.find(line.substr(4));
      const std::string status = line.substr(0, 4);
      EXPECT_TRUE(status == "600|" || status == "900|") << line.substr(0, 80);
      ++marked;
    }
    ASSERT_NE(it, expected.end()) << "altered or foreign line: " << line.substr(0, 80);
    ASSERT_GT(it->second, 0) << "line twice: " << line.substr(0, 80);
    --it->second;
  }
  for (const auto& [line, count] : expected) {
    EXPECT_EQ(count, 0) << "lost line: " << line.substr(0, 80);
  }
  EXPECT_GT(marked, 20);
  std::cout << appended.size() << " appended, " << marked << " marked, " << in_use
            << " in-use refusals\n";
}

}  // namespace
}  // namespace zenpo
