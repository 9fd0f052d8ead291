#include "app/exit_status.h"

#include <gtest/gtest.h>

#include <map>

namespace zenpo {
namespace {

TEST(ExitStatusTest, EveryCodeGetsAStatusOfItsOwn) {
  std::map<int, ResultCode> seen;
  for (ResultCode code : {0,   101, 102, 103, 104, 105, 110, 111, 112, 113, 114, 120, 121,
                          132, 133, 134, 135, 136, 137, 138, 150, 151, 152, 153, 154, 160,
                          161, 200, 300, 400, 500, 600, 899, 900, 901, 902, 903}) {
    const int status = ExitStatusFor(code);
    EXPECT_TRUE(status >= 0 && status <= 254 && seen.emplace(status, code).second)
        << code << " gets " << status << ", as " << seen[status] << " does";
  }
}

}  // namespace
}  // namespace zenpo
