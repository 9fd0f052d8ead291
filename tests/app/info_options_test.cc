#include "app/info_options.h"

#include <gtest/gtest.h>

namespace zenpo {
namespace {

// Only the exact words print a text instead of starting; R and M keep their meaning.
TEST(InfoOptionsTest, OnlyTheExactWordsAnswerAndNoneHoldsTheLetters) {
  EXPECT_EQ(FindInfoOption({"R", "--version"}), InfoOption::kVersion);
  EXPECT_EQ(FindInfoOption({"M", "--help"}), InfoOption::kHelp);
  EXPECT_EQ(FindInfoOption({"--HELP", "--help=M", "R"}), InfoOption::kNone);
}

}  // namespace
}  // namespace zenpo
