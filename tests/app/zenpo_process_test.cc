// The built program, started as a user starts it without a terminal.
#include <gtest/gtest.h>
#include <signal.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "support/other_user.h"
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

// An upgrade replaces the program's file while it runs; the restart still happens, from
// the file now installed.
TEST(ZenpoProcessTest, AHungRequestRestartsTheProgramFromItsReplacedFileWhichFinishesTheList) {
  TempDir home, bin;
  const std::filesystem::path program = bin / "zenpo";
  std::filesystem::copy_file(ZENPO_BINARY, program);
  TestHttpServer server;
  server.SetRoute("/check", WithBody("ok"));
  Route hang;
  hang.never_answer = true;
  server.SetRoute("/f.bin", hang);
  WriteFile(home / "ZENPO.ini", "checkURL=" + server.Url("/check") + "\nDLTimeout=1000\nloglevel=2\nmkdir=0\n");
  WriteFile(home / "ZENPO.txt", server.Url("/f.bin") + "\n");
  ZenpoProcess zenpo(home.path(), {}, {}, program.string());
  auto requests_of_f = [&] {
    return std::ranges::count_if(server.Requests(), [](const auto& r) { return r.target == "/f.bin"; });
  };
  ASSERT_TRUE(Eventually([&] { return requests_of_f() >= 1; }));
  // As a package manager does it: the new file is renamed over the old one.
  WriteFile(bin / "zenpo.new", "#!/bin/sh\necho \"$@\" >> " + (home / "upgraded").string() + "\nexec " +
                                   ZENPO_BINARY + " \"$@\"\n");
  std::filesystem::permissions(bin / "zenpo.new", std::filesystem::perms(0755));
  std::filesystem::rename(bin / "zenpo.new", program);
  // The restarted process holds only its own connection to the server: the hung one
  // went with its process.
  ASSERT_TRUE(Eventually([&] { return requests_of_f() >= 2; }, seconds(60)));
  char remote[32];  // an open connection from a client to the server's loopback port
  std::snprintf(remote, sizeof remote, " 0100007F:%04X 01 ", server.port());
  EXPECT_EQ(Count(ReadFile("/proc/net/tcp"), remote), 1u);
  server.SetRoute("/f.bin", WithBody("payload"));
  EXPECT_EQ(zenpo.WaitExit(seconds(30)), 103);
  EXPECT_EQ(ReadFile(home / "upgraded"), "R\n");
  // The new process, started with "R", reports the reset, not a start, and finishes the list.
  EXPECT_TRUE(Eventually([&] { return Count(ReadFile(home / "ZENPO.log"), " ZENPOのリセットを完了しました\n") == 1; }));
  EXPECT_TRUE(Eventually([&] { return ReadFile(home / "ZENPO.txt") == "900|" + server.Url("/f.bin") + "\n"; }));
}

// What another user can plant: the folder of the instance slots, made first, stops the
// start with a report; a hook that is that user's link is not run. The log of a program
// with a credential is the user's alone.
TEST(ZenpoProcessTest, AnotherUsersRuntimeFolderStopsTheStartAndTheirHooksDoNotRun) {
  const auto other = OtherUserAccount();
  if (!other) GTEST_SKIP() << kNoOtherUser;
  TempDir home, run;
  std::filesystem::permissions(run.path(), std::filesystem::perms(01777));
  const std::filesystem::path folder = run / "zenpo";
  std::filesystem::create_directory(folder);
  ASSERT_EQ(chown(folder.c_str(), other->uid, other->gid), 0);
  std::filesystem::permissions(folder, std::filesystem::perms(0777));
  WriteFile(home / "ZENPO.ini", "host=h|Authid=user:pw\n");
  WriteFile(home / "ZENPO.txt", "");
  ZenpoProcess refused(home.path(), {}, {"XDG_RUNTIME_DIR=" + run.path().string()});
  EXPECT_EQ(refused.WaitExit(seconds(30)), 1);
  EXPECT_EQ(Count(ReadFile(home / "ZENPO.log"), " 実行時フォルダが他のユーザから保護されていません->" + folder.string() + "\n"), 1u);
  EXPECT_EQ(std::filesystem::status(home / "ZENPO.log").permissions(), std::filesystem::perms(0600));

  WriteFile(home / "hook.sh", "#!/bin/sh\necho \"$0\" >> " + (home / "ran").string() + "\n");
  std::filesystem::permissions(home / "hook.sh", std::filesystem::perms(0755));
  std::filesystem::create_symlink(home / "hook.sh", home / "ZENPO_start.lnk");
  std::filesystem::create_symlink(home / "hook.sh", home / "ZENPO_end.lnk");
  ASSERT_EQ(lchown((home / "ZENPO_end.lnk").c_str(), other->uid, other->gid), 0);
  std::filesystem::remove(folder);
  ZenpoProcess zenpo(home.path(), {}, {"XDG_RUNTIME_DIR=" + run.path().string()});
  ASSERT_TRUE(Eventually([&] { return !ReadFile(home / "ran").empty(); }));
  zenpo.Stop();
  EXPECT_EQ(ReadFile(home / "ran"), (home / "ZENPO_start.lnk").string() + "\n") << "the start hook only";
  EXPECT_EQ(Count(ReadFile(home / "ZENPO.log"), " 他のユーザが所有または変更できるフックは実行しません->" +
                                                   (home / "ZENPO_end.lnk").string() + "\n"), 1u);
}

// Each executable hook runs at its phase: the start, downloading begins, the list has
// nothing left, the end. One that cannot be started is passed over in silence: no report,
// and the download goes on. Started under nohup, the program outlives its terminal's
// hang-up; a stop still ends it.
TEST(ZenpoProcessTest, EachHookRunsAtItsPhaseAndOneThatCannotStartStaysSilentUnderNohup) {
  const auto nohup = FindProgram("nohup");
  ASSERT_TRUE(nohup) << "nohup is not installed";
  TempDir home;
  TestHttpServer server;
  server.SetRoute("/f.bin", WithBody("payload"));
  WriteFile(home / "ZENPO.ini", "checkURL=" + server.Url("/check") + "\nmkdir=0\n");
  WriteFile(home / "ZENPO.txt", server.Url("/f.bin") + "\n");
  // Each hook notes its name and what the list says at that moment.
  for (const std::string phase : {"start", "start_d", "end_d", "end"}) {
    const std::filesystem::path hook = home / ("ZENPO_" + phase + ".lnk");
    WriteFile(hook, phase == "start_d" ? "#!/no/such/shell\n"
                                       : "#!/bin/sh\ncd " + home.path().string() + " && { echo " + phase + "; cat ZENPO.txt; } >> ran\n");
    std::filesystem::permissions(hook, std::filesystem::perms(0755));
  }
  const std::string done = "900|" + server.Url("/f.bin") + "\n";
  ZenpoProcess zenpo(home.path(), {ZENPO_BINARY}, {}, nohup->string());
  ASSERT_TRUE(Eventually([&] { return ReadFile(home / "ran").find("end_d") != std::string::npos; }))
      << ReadFile(home / "ran");
  kill(zenpo.pid(), SIGHUP);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  ASSERT_TRUE(zenpo.running()) << "ended by the hang-up";
  zenpo.Stop();
  EXPECT_TRUE(Eventually([&] { return ReadFile(home / "ran").ends_with("end\n" + done); }));
  EXPECT_EQ(ReadFile(home / "ran"), "start\n" + server.Url("/f.bin") + "\nend_d\n" + done + "end\n" + done);
  for (const std::string& text : {ReadFile(home / "ZENPO.log"), ReadFile(home / "zenpo-output.txt")}) {
    EXPECT_EQ(text.find("ZENPO_start_d"), std::string::npos) << text;
  }
}

// "--add" queues from a script: through the list's lock, never starting the program, and
// its status tells whether every URL was queued.
TEST(ZenpoProcessTest, AddQueuesEachUrlWithoutStartingAndItsStatusSaysWhatWasNot) {
  TempDir home;
  WriteFile(home / "ZENPO.ini", "loglevel=3\n");
  WriteFile(home / "ZENPO.txt", "900|http://h/old.zip");
  auto add = [&](std::vector<std::string> urls) {
    urls.insert(urls.begin(), "--add");
    ZenpoProcess zenpo(home.path(), urls);
    return zenpo.WaitExit(seconds(10)).value_or(-1);
  };
  EXPECT_EQ(add({"http://h/RM.zip", "https://h/no.zip", "http://h/b.zip"}), 1);
  EXPECT_EQ(ReadFile(home / "ZENPO.txt"), "900|http://h/old.zip\nhttp://h/RM.zip\nhttp://h/b.zip\n");
  EXPECT_NE(ReadFile(home / "zenpo-output.txt").find("https://h/no.zip"), std::string::npos);
  std::filesystem::rename(home / "ZENPO.txt", home / "!ZENPO.txt");  // held by an instance
  EXPECT_EQ(add({"http://h/c.zip", "http://h/d.zip"}), 161) << "in use for two seconds";
  EXPECT_EQ(Count(ReadFile(home / "ZENPO.log"), "ZENPOの常駐を開始します"), 0u);
}

// The same URL on two lines, one instance each: the second finds the file in use and
// waits its turn, where it once resumed into the file the first was still writing. (A
// result is written into every line of its URL, so 300 shows on both.)
TEST(ZenpoProcessTest, TwoInstancesNeverWriteOneFileAtOnce) {
  TempDir home;
  TestHttpServer server;
  constexpr std::uint64_t kSize = 3'000'000;
  server.SetRoute("/check", WithBody("ok"));
  server.SetRoute("/f.bin", {.generated_size = kSize, .honour_range = true, .stall_after = 300'000});
  WriteFile(home / "ZENPO.ini", "checkURL=" + server.Url("/check") +
                                    "\nDLTimeout=3000\nloglevel=2\nmkdir=0\nmulti=2\n");
  const std::string url = server.Url("/f.bin");
  WriteFile(home / "ZENPO.txt", url + "\n" + url + "\n");
  ZenpoProcess first(home.path());
  // Both look at the list within a second of each other, about four seconds after their
  // starts; the stalled body keeps the first one's transfer open meanwhile.
  ASSERT_TRUE(Eventually([&] { return Count(ReadFile(home / "ZENPO.log"), "ZENPOの常駐を開始します") == 1; }));
  ZenpoProcess second(home.path(), {"M"});
  // Each round of the first moves the body on by 300,000 bytes; a busy machine may let a
  // round or two pass before the second meets the file in use. Its 300 may stand in the
  // list only until the first's next result, so the log is where it is looked for.
  ASSERT_TRUE(Eventually([&] {
    return ReadFile(home / "ZENPO.log").find("Download出力ファイルは他のZENPOが書込中です") != std::string::npos;
  }, seconds(60))) << ReadFile(home / "ZENPO.txt");
  server.SetRoute("/f.bin", {.generated_size = kSize, .honour_range = true});
  ASSERT_TRUE(Eventually([&] {
    const std::string list = ReadFile(home / "ZENPO.txt");
    const std::size_t second_line = list.find('\n') + 1;
    return Count(list, "|" + url + "\n") == 2 && list.starts_with("90") &&
           list.compare(second_line, 2, "90") == 0;
  }, seconds(60))) << ReadFile(home / "ZENPO.txt");
  EXPECT_TRUE(ReadFile(home / "f.bin") == BodyBytes(0, kSize)) << ReadFile(home / "f.bin").size();
}

}  // namespace
}  // namespace zenpo::test
