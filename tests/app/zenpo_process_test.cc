// The built program, started as a user starts it without a terminal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/instances.h"
#include "runtime/window_messages.h"
#include "support/nginx_server.h"
#include "support/temp_dir.h"
#include "support/test_http_server.h"
#include "support/zenpo_process.h"

namespace zenpo {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using test::Eventually;
using test::ReadFile;
using test::WriteFile;
using test::ZenpoProcess;

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// The zenpo process that runs on home now (a restarted one is no child of the test), or 0.
pid_t ZenpoOn(const std::filesystem::path& home) {
  const std::string variable = "ZENPO_HOME=" + home.string() + '\0';
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::error_code ec;
    if (std::filesystem::read_symlink(entry.path() / "exe", ec) != ZENPO_BINARY) continue;
    if (ReadFile(entry.path() / "environ").find(variable) == std::string::npos) continue;
    return std::atoi(entry.path().filename().c_str());
  }
  return 0;
}

int Descriptors(pid_t pid) {
  std::error_code ec;
  auto fds = std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec);
  return ec ? -1 : static_cast<int>(std::distance(fds, std::filesystem::directory_iterator()));
}

// Open TCP connections from a client to the loopback port.
int ConnectionsTo(std::uint16_t port) {
  char remote[32];
  std::snprintf(remote, sizeof remote, " 0100007F:%04X 01 ", port);
  return static_cast<int>(Count(ReadFile("/proc/net/tcp"), remote));
}

class ZenpoProcessTest : public ::testing::Test {
 protected:
  std::string Log() const { return ReadFile(home_ / "ZENPO.log"); }
  std::string List() const { return ReadFile(home_ / "ZENPO.txt"); }
  bool Logged(const std::string& text, std::size_t times = 1) const {
    return Eventually([&] { return Count(Log(), text) >= times; });
  }
  void WriteHook(const std::string& name) {
    const auto path = home_ / name;
    WriteFile(path, "#!/bin/sh\necho " + name + " >> '" + (home_ / "hooks.txt").string() + "'\n");
    chmod(path.c_str(), 0755);
  }

  test::TempDir home_;
};

TEST_F(ZenpoProcessTest, RunsWithoutATerminalAndEndsOnSignalWithTheLastResult) {
  WriteFile(home_ / "ZENPO.ini", "loglevel=2\n");
  ZenpoProcess zenpo(home_.path());
  ASSERT_TRUE(Logged(" ZENPOの常駐を開始します\n")) << zenpo.Output();
  // No list: the first selection finds it in use, and the cycle waits.
  ASSERT_TRUE(Logged("listfileを他で使用中です(ReTry)"));
  zenpo.Signal(SIGTERM);
  EXPECT_EQ(zenpo.WaitExit(seconds(10)), 121);
  EXPECT_TRUE(Log().ends_with(" ZENPOの常駐を解除します\n")) << Log();
  EXPECT_NE(zenpo.Output().find("ZENPO: ZENPOの常駐を開始します"), std::string::npos);
}

TEST_F(ZenpoProcessTest, AnUnusableLogEndsWith102) {
  WriteFile(home_ / "ZENPO.ini", "DLPath=missing/dir\r\n");
  ZenpoProcess zenpo(home_.path());
  EXPECT_EQ(zenpo.WaitExit(seconds(10)), 102);
  EXPECT_NE(zenpo.Output().find("ZENPO: Logfileアクセスでerrorが発生しました"), std::string::npos);
  EXPECT_NE(zenpo.Output().find("missing/dir/ZENPO.log"), std::string::npos);
}

TEST_F(ZenpoProcessTest, InstanceSlotsShowTheRunningOneOrRefuseAnExtraOne) {
  WriteFile(home_ / "ZENPO.ini", "multi=2\n");
  ZenpoProcess first(home_.path());
  ASSERT_TRUE(Logged(" ZENPOの常駐を開始します\n"));
  // A plain second start shows the first and ends without a word.
  ZenpoProcess plain(home_.path());
  EXPECT_EQ(plain.WaitExit(seconds(10)), 0);
  EXPECT_EQ(Count(Log(), "ZENPOの常駐を開始します"), 1u);
  // "M" takes the second slot; a third with "M" finds every slot taken.
  ZenpoProcess second(home_.path(), {"M"});
  ASSERT_TRUE(Logged(" ZENPOの常駐を開始します\n", 2));
  ZenpoProcess third(home_.path(), {"M"});
  EXPECT_EQ(third.WaitExit(seconds(10)), 0);
  EXPECT_NE(Log().find(" 実行可能多重度数オーバー\n"), std::string::npos);
  EXPECT_NE(third.Output().find("ZENPO: 実行可能多重度数オーバー"), std::string::npos);
  first.Signal(SIGINT);
  second.Signal(SIGHUP);
  EXPECT_EQ(first.WaitExit(seconds(10)).has_value(), true);
  EXPECT_EQ(second.WaitExit(seconds(10)).has_value(), true);
}

TEST_F(ZenpoProcessTest, WorksOffAListOnNginxUnattended) {
  test::TempDir docroot;
  WriteFile(docroot / "index.html", "ok");
  std::filesystem::create_directories(docroot.path() / "d");
  const std::string a(70000, 'a'), b = "bb", c(1 << 20, 'c');
  WriteFile(docroot / "d" / "a.bin", a);
  WriteFile(docroot / "b.bin", b);
  WriteFile(docroot / "c.bin", c);
  test::NginxServer nginx(docroot.path());
  std::string error;
  ASSERT_TRUE(nginx.Start(&error)) << error;
  WriteFile(home_ / "ZENPO.ini", "checkURL=" + nginx.Url("/index.html") + "\nDLPath=dl\n");
  std::filesystem::create_directory(home_ / "dl");
  const std::string host = "127.0.0.1#" + std::to_string(nginx.port());
  WriteFile(home_ / "ZENPO.txt", "my downloads\n" + nginx.Url("/d/a.bin") + "\n" +
                                     nginx.Url("/b.bin") + "|Referer=http://r/\n" +
                                     nginx.Url("/c.bin") + "\n");
  WriteHook("ZENPO_start_d.lnk");
  WriteHook("ZENPO_end_d.lnk");

  ZenpoProcess zenpo(home_.path());
  ASSERT_TRUE(Eventually([&] { return Count(List(), "900|") == 3; }, seconds(60))) << List();
  ASSERT_TRUE(Eventually([&] { return ReadFile(home_ / "hooks.txt").find("end_d") != std::string::npos; }));
  EXPECT_EQ(ReadFile(home_ / "hooks.txt"), "ZENPO_start_d.lnk\nZENPO_end_d.lnk\n");
  EXPECT_EQ(List(), "my downloads\n900|" + nginx.Url("/d/a.bin") + "\n900|" +
                        nginx.Url("/b.bin") + "|Referer=http://r/\n900|" + nginx.Url("/c.bin") + "\n");
  EXPECT_EQ(ReadFile(home_ / "dl" / host / "d" / "a.bin"), a);
  EXPECT_EQ(ReadFile(home_ / "dl" / host / "b.bin"), b);
  EXPECT_EQ(ReadFile(home_ / "dl" / host / "c.bin"), c);
  zenpo.Signal(SIGTERM);
  EXPECT_EQ(zenpo.WaitExit(seconds(10)), 120) << "the last selection found nothing";
}

TEST_F(ZenpoProcessTest, ClosingDuringATransferWrites101AndEndsWithIt) {
  test::TestHttpServer server;
  server.SetRoute("/check", test::WithBody("ok"));
  test::Route big;
  big.generated_size = 1ULL << 30;
  server.SetRoute("/big.bin", big);
  WriteFile(home_ / "ZENPO.ini", "checkURL=" + server.Url("/check") + "\nDLBuff=50\nmkdir=0\n");
  WriteFile(home_ / "ZENPO.txt", server.Url("/big.bin") + "\n");
  ZenpoProcess zenpo(home_.path());
  ASSERT_TRUE(Eventually([&] {
    std::error_code ec;
    return std::filesystem::file_size(home_ / "big.bin", ec) > 100000 && !ec;
  }));
  zenpo.Signal(SIGTERM);
  EXPECT_EQ(zenpo.WaitExit(seconds(30)), 101);
  EXPECT_EQ(List(), "101|" + server.Url("/big.bin") + "\n");
  const std::string got = ReadFile(home_ / "big.bin");
  EXPECT_EQ(got, test::BodyBytes(0, got.size())) << "every received byte is in the file";
}

TEST_F(ZenpoProcessTest, AnUnreachableNetworkEndsWith104AndTheEntryHoldsIt) {
  WriteFile(home_ / "ZENPO.ini", "checkURL=http://127.0.0.1:1/\n");
  WriteFile(home_ / "ZENPO.txt", "http://127.0.0.1:1/f.zip\n");
  ZenpoProcess zenpo(home_.path());
  EXPECT_EQ(zenpo.WaitExit(seconds(30)), 104);
  EXPECT_EQ(List(), "104|http://127.0.0.1:1/f.zip\n");
  EXPECT_NE(Log().find(" ネットワーク接続でerrorが発生しました\n"), std::string::npos);
}

TEST_F(ZenpoProcessTest, AHungRequestRestartsTheProgramWhichFinishesTheList) {
  test::TestHttpServer server;
  server.SetRoute("/check", test::WithBody("ok"));
  test::Route hang;
  hang.never_answer = true;
  server.SetRoute("/f.bin", hang);
  WriteFile(home_ / "ZENPO.ini", "checkURL=" + server.Url("/check") +
                                     "\nDLTimeout=1000\nloglevel=2\nmkdir=0\n");
  WriteFile(home_ / "ZENPO.txt", server.Url("/f.bin") + "\n");
  ZenpoProcess zenpo(home_.path());
  const auto hung = [&](std::size_t times) {
    return Eventually([&] {
      std::size_t n = 0;
      for (const auto& r : server.Requests()) n += r.target == "/f.bin";
      return n >= times;
    }, seconds(60));
  };
  // Two restarts later, the process holds as many descriptors as the first restarted one
  // did at the same point (the first start has the test's own), and only its own
  // connection to the server is open.
  const auto descriptors_now = [&] {
    const pid_t pid = ZenpoOn(home_.path());
    std::this_thread::sleep_for(milliseconds(200));
    int fewest = Descriptors(pid);
    for (int i = 0; i < 4; ++i, std::this_thread::sleep_for(milliseconds(50))) {
      fewest = std::min(fewest, Descriptors(pid));
    }
    return fewest;
  };
  ASSERT_TRUE(hung(2));
  const int restarted = descriptors_now();
  ASSERT_TRUE(hung(4));
  EXPECT_EQ(descriptors_now(), restarted);
  EXPECT_EQ(ConnectionsTo(server.port()), 1);
  server.SetRoute("/f.bin", test::WithBody("payload"));
  EXPECT_EQ(zenpo.WaitExit(seconds(30)), 103);
  EXPECT_TRUE(Logged(" WinInetハンドル(OpenUrl)リセット\n"));
  EXPECT_TRUE(Logged(" ZENPOをリセットします\n"));
  // The new process reports the reset, not a start, and finishes the list.
  EXPECT_TRUE(Logged(" ZENPOのリセットを完了しました\n"));
  EXPECT_TRUE(Eventually([&] { return List() == "900|" + server.Url("/f.bin") + "\n"; }))
      << List();
  EXPECT_EQ(ReadFile(home_ / "f.bin"), "payload");
  EXPECT_EQ(Count(Log(), "ZENPOの常駐を開始します"), 1u);
  // End the new process through its slot, as the menu's "EXIT" would.
  platform::InstanceSlots slots(home_.wpath());
  ASSERT_TRUE(Eventually([&] { return slots.PostCommand(0, menu_cmd::kExit); }));
  EXPECT_TRUE(Logged(" ZENPOの常駐を解除します\n"));
  EXPECT_TRUE(Eventually([&] { return !slots.IsTaken(0); }));
}

// Running the program needs the compiler and its three libraries, not the test tools.
TEST(SetupTest, TheRunSetUpLeavesTheTestToolsToTheTestOne) {
  const auto packages = [](const std::string& purpose) {
    std::string out;
    const std::string command = std::string(ZENPO_SOURCE_DIR) + "/scripts/setup " + purpose + " --list";
    if (FILE* p = popen(command.c_str(), "r")) {
      char buf[1024];
      for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
      pclose(p);
    }
    return out;
  };
  const std::string run = packages("run"), test = packages("test");
  for (const char* needed : {"g++\n", "cmake\n", "libcurl4-openssl-dev\n", "libncurses-dev\n", "libx11-dev\n"}) {
    EXPECT_NE(run.find(needed), std::string::npos) << needed;
  }
  for (const char* tool : {"googletest\n", "nginx\n", "tinyproxy\n", "tmux\n", "xvfb\n", "aria2\n"}) {
    EXPECT_EQ(run.find(tool), std::string::npos) << tool;
    EXPECT_NE(test.find(tool), std::string::npos) << tool;
  }
}

}  // namespace
}  // namespace zenpo
