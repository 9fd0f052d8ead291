// The built program, started as a user starts it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "support/temp_dir.h"

namespace zenpo {
namespace {

struct RunResult {
  int exit_code = -1;
  std::string output;
};

RunResult RunZenpo(const test::TempDir& home, const std::string& args = "") {
  const std::string cmd = "ZENPO_HOME='" + home.path().string() + "' " ZENPO_BINARY " " + args +
                          " 2>&1 </dev/null";
  RunResult r;
  FILE* p = popen(cmd.c_str(), "r");
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof(buf), p)) > 0;) r.output.append(buf, n);
  const int status = pclose(p);
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

TEST(ZenpoBinaryTest, StartsWithDefaultsAndLogsWhereLogPathSays) {
  test::TempDir home;
  const RunResult r = RunZenpo(home);
  EXPECT_EQ(r.exit_code, 0) << r.output;
  const std::string log = test::ReadFile(home / "ZENPO.log");
  EXPECT_NE(log.find(" ZENPOの常駐を開始します\n"), std::string::npos) << log;
  // Without a terminal the start box is a line on stderr.
  EXPECT_NE(r.output.find("ZENPO: ZENPOの常駐を開始します"), std::string::npos) << r.output;
}

TEST(ZenpoBinaryTest, UnusableLogEndsWith102) {
  test::TempDir home;
  test::WriteFile(home / "ZENPO.ini", "DLPath=missing/dir\r\n");
  const RunResult r = RunZenpo(home);
  EXPECT_EQ(r.exit_code, 102);
  EXPECT_NE(r.output.find("ZENPO: Logfileアクセスでerrorが発生しました"), std::string::npos);
  EXPECT_NE(r.output.find("missing/dir/ZENPO.log"), std::string::npos);
}

}  // namespace
}  // namespace zenpo
