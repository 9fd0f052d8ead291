// The built program, started as a user starts it without a terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

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

TEST(ZenpoProcessTest, AHungRequestRestartsTheProgramWhichFinishesTheList) {
  TempDir home;
  TestHttpServer server;
  server.SetRoute("/check", WithBody("ok"));
  Route hang;
  hang.never_answer = true;
  server.SetRoute("/f.bin", hang);
  WriteFile(home / "ZENPO.ini", "checkURL=" + server.Url("/check") + "\nDLTimeout=1000\nloglevel=2\nmkdir=0\n");
  WriteFile(home / "ZENPO.txt", server.Url("/f.bin") + "\n");
  ZenpoProcess zenpo(home.path());
  // The restarted process holds only its own connection to the server: the hung one
  // went with its process.
  ASSERT_TRUE(Eventually([&] {
    const auto requests = server.Requests();
    return std::ranges::count_if(requests, [](const auto& r) { return r.target == "/f.bin"; }) >= 2;
  }, seconds(60)));
  char remote[32];  // an open connection from a client to the server's loopback port
  std::snprintf(remote, sizeof remote, " 0100007F:%04X 01 ", server.port());
  EXPECT_EQ(Count(ReadFile("/proc/net/tcp"), remote), 1u);
  server.SetRoute("/f.bin", WithBody("payload"));
  EXPECT_EQ(zenpo.WaitExit(seconds(30)), 103);
  // The new process, started with "R", reports the reset, not a start, and finishes the list.
  EXPECT_TRUE(Eventually([&] { return Count(ReadFile(home / "ZENPO.log"), " ZENPOのリセットを完了しました\n") == 1; }));
  EXPECT_TRUE(Eventually([&] { return ReadFile(home / "ZENPO.txt") == "900|" + server.Url("/f.bin") + "\n"; }));
  EXPECT_EQ(ReadFile(home / "f.bin"), "payload");
  EXPECT_EQ(Count(ReadFile(home / "ZENPO.log"), "ZENPOの常駐を開始します"), 1u);
}

}  // namespace
}  // namespace zenpo::test
