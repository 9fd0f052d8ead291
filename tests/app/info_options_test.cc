#include "app/info_options.h"

#include <gtest/gtest.h>

namespace zenpo {
namespace {

// Only the two exact words print a text instead of starting; every other argument
// reaches the command line, where a capital R or M keeps its meaning.
TEST(InfoOptionsTest, OnlyTheExactWordsAnswerAndNoneHoldsTheLetters) {
  const struct {
    std::vector<std::string> args;
    InfoOption option;
  } cases[] = {
      {{"--help"}, InfoOption::kHelp},
      {{"R", "--version"}, InfoOption::kVersion},
      {{}, InfoOption::kNone},
      {{"--HELP"}, InfoOption::kNone},
      {{"--help=M"}, InfoOption::kNone},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindInfoOption(c.args), c.option) << ::testing::PrintToString(c.args);
  }
}

}  // namespace
}  // namespace zenpo
