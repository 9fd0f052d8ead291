#include "app/exit_status.h"

#include <gtest/gtest.h>

#include <map>

namespace zenpo {
namespace {

TEST(ExitStatusTest, EveryCodeGetsAStatusOfItsOwn) {
  const ResultCode kCodes[] = {0,   101, 102, 103, 104, 105, 110, 111, 112, 113, 114, 120,
                               121, 132, 133, 134, 135, 136, 137, 138, 150, 151, 152, 153,
                               154, 160, 161, 200, 400, 500, 600, 899, 900, 901, 902, 903};
  std::map<int, ResultCode> seen;
  for (ResultCode code : kCodes) {
    const int status = ExitStatusFor(code);
    ASSERT_GE(status, 0);
    ASSERT_LE(status, 254);
    auto [it, fresh] = seen.emplace(status, code);
    EXPECT_TRUE(fresh) << code << " and " << it->second << " share status " << status;
  }
  EXPECT_EQ(ExitStatusFor(104), 104);
  EXPECT_EQ(ExitStatusFor(900), 90);
  EXPECT_EQ(ExitStatusFor(600), 60);
}

}  // namespace
}  // namespace zenpo
