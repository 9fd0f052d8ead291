// The built program, started as a user starts it without a terminal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "platform/instances.h"
#include "runtime/window_messages.h"
#include "support/test_http_server.h"
#include "support/zenpo_process.h"

namespace zenpo::test {
namespace {

using std::chrono::seconds;

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class ZenpoProcessTest : public ::testing::Test {
 protected:
  std::string Log() const { return ReadFile(home_ / "ZENPO.log"); }
  std::string List() const { return ReadFile(home_ / "ZENPO.txt"); }
  bool Logged(const std::string& text, std::size_t times = 1) const {
    return Eventually([&] { return Count(Log(), text) >= times; });
  }

  TempDir home_;
};

// Ending on a signal and boxes as stderr lines are seen in the terminal tests (a dumb
// terminal runs as no terminal does); a log that cannot be written ends the start.
TEST_F(ZenpoProcessTest, AnUnusableLogEndsTheStartWithItsStatusAndAStderrLine) {
  WriteFile(home_ / "ZENPO.ini", "DLPath=missing/dir\r\n");
  ZenpoProcess zenpo(home_.path());
  EXPECT_EQ(zenpo.WaitExit(seconds(10)), 102);
  EXPECT_NE(zenpo.Output().find("ZENPO: Logfileアクセスでerrorが発生しました"), std::string::npos);
}

TEST_F(ZenpoProcessTest, InstanceSlotsShowTheRunningOneOrRefuseAnExtraOne) {
  WriteFile(home_ / "ZENPO.ini", "multi=2\n");
  ZenpoProcess first(home_.path());
  ASSERT_TRUE(Logged(" ZENPOの常駐を開始します\n"));
  ZenpoProcess plain(home_.path());  // shows the first and ends without a word
  EXPECT_EQ(plain.WaitExit(seconds(10)), 0);
  // "M" takes the second slot; a third with "M" finds every slot taken.
  ZenpoProcess second(home_.path(), {"M"});
  ASSERT_TRUE(Logged(" ZENPOの常駐を開始します\n", 2));
  ZenpoProcess third(home_.path(), {"M"});
  EXPECT_EQ(third.WaitExit(seconds(10)), 0);
  EXPECT_EQ(Count(Log(), "ZENPOの常駐を開始します"), 2u);
  EXPECT_NE(third.Output().find("ZENPO: 実行可能多重度数オーバー"), std::string::npos);
  EXPECT_NE(Log().find(" 実行可能多重度数オーバー\n"), std::string::npos);
  kill(first.pid(), SIGINT);  // interrupt and hang-up end it as "EXIT" does
  kill(second.pid(), SIGHUP);
  EXPECT_TRUE(first.WaitExit(seconds(10)).has_value() && second.WaitExit(seconds(10)).has_value());
}

TEST_F(ZenpoProcessTest, AHungRequestRestartsTheProgramWhichFinishesTheList) {
  TestHttpServer server;
  server.SetRoute("/check", WithBody("ok"));
  Route hang;
  hang.never_answer = true;
  server.SetRoute("/f.bin", hang);
  WriteFile(home_ / "ZENPO.ini", "checkURL=" + server.Url("/check") + "\nDLTimeout=1000\nloglevel=2\nmkdir=0\n");
  WriteFile(home_ / "ZENPO.txt", server.Url("/f.bin") + "\n");
  // The hook of the idle phase runs once the list is done (its timing is the cycle's).
  WriteFile(home_ / "ZENPO_end_d.lnk", "#!/bin/sh\necho ran >> '" + (home_ / "hook.txt").string() + "'\n");
  chmod((home_ / "ZENPO_end_d.lnk").c_str(), 0755);
  ZenpoProcess zenpo(home_.path());
  const auto hung = [&](std::size_t times) {
    return Eventually([&] {
      std::size_t n = 0;
      for (const auto& r : server.Requests()) n += r.target == "/f.bin";
      return n >= times;
    }, seconds(60));
  };
  // The restarted process holds only its own connection to the server: the hung one
  // went with its process.
  ASSERT_TRUE(hung(2));
  char remote[32];  // an open connection from a client to the server's loopback port
  std::snprintf(remote, sizeof remote, " 0100007F:%04X 01 ", server.port());
  EXPECT_EQ(Count(ReadFile("/proc/net/tcp"), remote), 1u);
  server.SetRoute("/f.bin", WithBody("payload"));
  EXPECT_EQ(zenpo.WaitExit(seconds(30)), 103);
  EXPECT_TRUE(Logged(" WinInetハンドル(OpenUrl)リセット\n"));
  // The new process, started with "R", reports the reset, not a start, and finishes the list.
  EXPECT_TRUE(Logged(" ZENPOをリセットします\n"));
  EXPECT_TRUE(Logged(" ZENPOのリセットを完了しました\n"));
  EXPECT_TRUE(Eventually([&] { return List() == "900|" + server.Url("/f.bin") + "\n"; })) << List();
  EXPECT_EQ(ReadFile(home_ / "f.bin"), "payload");
  EXPECT_TRUE(Eventually([&] { return ReadFile(home_ / "hook.txt") == "ran\n"; }));
  EXPECT_EQ(Count(Log(), "ZENPOの常駐を開始します"), 1u);
  // End the new process through its slot, as the menu's "EXIT" would.
  platform::InstanceSlots slots(home_.wpath());
  ASSERT_TRUE(Eventually([&] { return slots.PostCommand(0, menu_cmd::kExit); }));
  EXPECT_TRUE(Logged(" ZENPOの常駐を解除します\n"));
  EXPECT_TRUE(Eventually([&] { return !slots.IsTaken(0); }));
}

}  // namespace
}  // namespace zenpo::test
