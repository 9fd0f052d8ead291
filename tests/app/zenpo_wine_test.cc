// zenpo.exe of the Windows build (scripts/build-windows) run under wine on a virtual
// display. Skipped where that build or wine is missing.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>

#include "support/daemon_process.h"
#include "support/temp_dir.h"
#include "support/test_http_server.h"
#include "support/xvfb_display.h"

namespace zenpo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const fs::path kBuild = ZENPO_WINDOWS_BUILD;
// "ZENPOの常駐を開始します" and "実行可能多重度数オーバー" in code page 932.
const std::string kStartText932 =
    "ZENPO\x82\xcc\x8f\xed\x92\x93\x82\xf0\x8a\x4a\x8e\x6e\x82\xb5\x82\xdc\x82\xb7";
const std::string kSlotsFull932 =
    "\x8e\xc0\x8d\x73\x89\xc2\x94\x5c\x91\xbd\x8f\x64\x93\x78\x90\x94\x83\x49\x81\x5b\x83\x6f\x81\x5b";

class ZenpoWineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kBuild / "zenpo.exe") || !fs::exists(kBuild / "wine/system.reg") ||
        !test::FindProgram("wine")) {
      GTEST_SKIP() << "needs scripts/build-windows with wine installed";
    }
    // Programs in one wine prefix share one desktop, where each would find the other's
    // window: the tests take turns.
    lock_ = open((kBuild / "wine/.zenpo-test-lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(lock_, 0);
    ASSERT_EQ(flock(lock_, LOCK_EX), 0);
    ASSERT_TRUE(display_.ok());
    fs::copy_file(kBuild / "zenpo.exe", home_ / "zenpo.exe");
  }
  // Moves the program into a folder of home (name in UTF-8, as wine keeps it on Linux).
  void MoveProgramTo(const std::string& name) {
    program_dir_ = home_ / name;
    fs::create_directory(program_dir_);
    fs::rename(home_ / "zenpo.exe", program_dir_ / "zenpo.exe");
  }

  std::string Wine(const std::string& command) const {
    return "WINEPREFIX='" + (kBuild / "wine").string() + "' DISPLAY=" + display_.name() + " " + command;
  }
  // Under a Japanese locale, with the tray calls traced into the output file.
  std::future<int> Start(const std::string& args, const std::string& output) const {
    const std::string command = "cd '" + program_dir_.string() + "' && " +
        Wine("LOCPATH='" + (kBuild / "locale").string() + "' LANG=ja_JP.UTF-8 WINEDEBUG=-all,trace+systray "
             "WINEDLLOVERRIDES='mscoree,mshtml=' wine zenpo.exe " + args + " >'" + (home_ / output).string() +
             "' 2>&1 </dev/null");
    return std::async(std::launch::async, [command] {
      const int status = std::system(command.c_str());
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    });
  }
  void Close() const { std::system(Wine("WINEDEBUG=-all wine taskkill /im zenpo.exe >/dev/null 2>&1").c_str()); }
  bool XWinInfo(const std::string& args, const std::string& pattern) const {
    return std::system(("xwininfo -display " + display_.name() + " " + args + " 2>/dev/null | grep -q '" +
                        pattern + "'").c_str()) == 0;
  }

  std::string List() const { return test::ReadFile(program_dir_ / "ZENPO.txt"); }

  void TearDown() override {
    if (lock_ < 0) return;
    // Every program of this test, a restarted one too, has ended before the next test's turn.
    std::system(Wine("timeout 60 wineserver -w").c_str());
    close(lock_);
  }

  int lock_ = -1;
  test::XvfbDisplay display_;
  test::TempDir home_;
  fs::path program_dir_ = home_.path();
};

// A request that never answers cannot be taken back: 103, and the successor works off the list.
TEST_F(ZenpoWineTest, ARestartWorksOffTheListAndSlotsAreSharedUntilTheCloseMessage) {
  test::TestHttpServer server;
  server.SetRoute("/check", test::WithBody("ok"));
  test::Route hang;
  hang.never_answer = true;
  server.SetRoute("/f.bin", hang);
  const std::string bytes = test::BodyBytes(0, 6000000);
  test::Route a = test::WithBody(bytes);
  a.headers = {{"Last-Modified", "Sat, 03 Feb 2001 04:05:06 GMT"}};
  server.SetRoute("/a.bin", a);
  const std::string f_line = server.Url("/f.bin") + "\r\n", a_line = server.Url("/a.bin") + "\r\n";
  test::WriteFile(home_ / "ZENPO.ini", "checkURL=" + server.Url("/check") +
                                           "\r\nmsglevel=0\r\nHIDE=1\r\nmulti=2\r\nDLTimeout=10000\r\n");
  test::WriteFile(home_ / "ZENPO.txt", f_line + a_line);
  std::future<int> first = Start("", "first.out");
  ASSERT_TRUE(test::Eventually([&] { return server.RequestCount() > 1; }, 60s));
  EXPECT_FALSE(XWinInfo("-name ZENPO_main_0", "IsViewable")) << "HIDE=1";
  std::future<int> second = Start("", "second.out");
  ASSERT_EQ(second.wait_for(60s), std::future_status::ready);
  EXPECT_EQ(second.get(), 0);
  EXPECT_TRUE(test::Eventually([&] { return XWinInfo("-name ZENPO_main_0", "IsViewable"); }, 10s))
      << "the second start shows the first";
  server.SetRoute("/f.bin", test::WithBody("restarted"));
  ASSERT_EQ(first.wait_for(90s), std::future_status::ready);
  EXPECT_EQ(first.get(), 103) << "the hung open could not be taken back";
  ASSERT_TRUE(test::Eventually([&] { return List() == "900|" + f_line + "900|" + a_line; }, 120s)) << List();
  const fs::path local = home_ / ("127.0.0.1#" + std::to_string(server.port())) / "a.bin";
  EXPECT_EQ(test::ReadFile(local), bytes);
  EXPECT_EQ(fs::last_write_time(local), std::chrono::file_clock::from_sys(std::chrono::sys_seconds(981173106s)));
  EXPECT_NE(test::ReadFile(home_ / "ZENPO.log").find(kStartText932), std::string::npos) << "in code page 932";

  std::future<int> extra = Start("M", "extra.out");  // slot 1
  ASSERT_TRUE(test::Eventually([&] { return XWinInfo("-root -tree", "\"ZENPO_main_1\""); }, 60s));
  std::future<int> over = Start("M", "over.out");  // both slots are taken
  ASSERT_EQ(over.wait_for(60s), std::future_status::ready);
  EXPECT_EQ(over.get(), 0);
  EXPECT_NE(test::ReadFile(home_ / "ZENPO.log").find(kSlotsFull932), std::string::npos);
  Close();
  ASSERT_EQ(extra.wait_for(60s), std::future_status::ready);
  const std::string trace = test::ReadFile(home_ / "extra.out");  // the tray icon added, then removed
  EXPECT_NE(trace.find("Shell_NotifyIconW dwMessage = 2,", trace.find("Shell_NotifyIconW dwMessage = 0,")),
            std::string::npos);
}

// As a Japanese user keeps it: the program in "ツール", DLPath "ダウンロード", names in code
// page 932, names Windows keeps for devices. Every file arrives whole, once.
TEST_F(ZenpoWineTest, JapaneseFoldersAndNamesKeepEveryFileWholeAndFetchedOnce) {
  MoveProgramTo("\xe3\x83\x84\xe3\x83\xbc\xe3\x83\xab");  // ツール
  const std::string dl_dir = "\xe3\x83\x80\xe3\x82\xa6\xe3\x83\xb3\xe3\x83\xad\xe3\x83\xbc\xe3\x83\x89";
  const std::string dl_dir_932 = "\x83\x5f\x83\x45\x83\x93\x83\x8d\x81\x5b\x83\x68";  // ダウンロード
  test::TestHttpServer server;
  server.SetRoute("/check", test::WithBody("ok"));
  struct Entry {
    std::string url_name;    // in the list (code page 932)
    std::string wire_name;   // as requested (WinINet under wine sends the code page's bytes)
    std::string local_name;  // on disk (UTF-8 on Linux)
    std::size_t size;
  };
  const Entry entries[] = {
      {"a.bin", "a.bin", "a.bin", 777777},
      {"\x93\x8c\x8b\x9e.bin", "\x93\x8c\x8b\x9e.bin", "\xe6\x9d\xb1\xe4\xba\xac.bin", 123456},  // 東京
      {"nul", "nul", "#nul", 1500},
      {"aux.txt", "aux.txt", "#aux.txt", 1600}};
  std::string list, done;
  for (std::size_t i = 0; i < std::size(entries); ++i) {
    server.SetRoute("/d/" + entries[i].wire_name, test::WithBody(test::BodyBytes(i, entries[i].size)));
    list += server.Url("/d/") + entries[i].url_name + "\r\n";
    done += "900|" + server.Url("/d/") + entries[i].url_name + "\r\n";
  }
  fs::create_directory(home_ / dl_dir);
  // An absolute DLPath, as wine names the Linux folder: Z: and backslashes.
  std::string dl_path = "Z:" + home_.path().string();
  for (char& c : dl_path) c = c == '/' ? '\\' : c;
  test::WriteFile(program_dir_ / "ZENPO.ini", "checkURL=" + server.Url("/check") + "\r\nmsglevel=0\r\nHIDE=1\r\n"
                                              "DLPath=" + dl_path + "\\" + dl_dir_932 + "\r\n");
  test::WriteFile(program_dir_ / "ZENPO.txt", list);
  std::future<int> run = Start("", "run.out");
  EXPECT_TRUE(test::Eventually([&] { return List() == done; }, 120s)) << List();
  Close();
  ASSERT_EQ(run.wait_for(60s), std::future_status::ready);
  std::string targets;
  for (const test::ReceivedRequest& r : server.Requests()) targets += r.target + " ";
  const fs::path local = home_ / dl_dir / ("127.0.0.1#" + std::to_string(server.port())) / "d";
  for (std::size_t i = 0; i < std::size(entries); ++i) {
    const Entry& e = entries[i];
    const std::string bytes = test::ReadFile(local / e.local_name);
    EXPECT_EQ(bytes.size(), e.size) << e.local_name;
    EXPECT_TRUE(bytes == test::BodyBytes(i, e.size)) << e.local_name;
    int fetched = 0;
    for (const test::ReceivedRequest& r : server.Requests()) fetched += r.target == "/d/" + e.wire_name;
    EXPECT_EQ(fetched, 1) << e.wire_name << " among " << targets;
  }
}

}  // namespace
}  // namespace zenpo
