#include "platform/text.h"

#include <gtest/gtest.h>

namespace zenpo::platform {
namespace {

TEST(TextTest, JapaneseRoundTripsThroughTheCodePage) {
  ASSERT_EQ(CodePageName(), "UTF-8") << "tests expect a UTF-8 or plain C locale";
  const std::wstring text = L"ZENPOの常駐を開始します";
  const std::string bytes = ToCodePage(text);
  EXPECT_EQ(bytes.size(), 5u + 9u * 3u);
  EXPECT_EQ(FromCodePage(bytes), text);
}

TEST(TextTest, LimitsCutWholeCharactersOnly) {
  EXPECT_EQ(ToCodePage(L"日本", 5), "\xe6\x97\xa5");
  EXPECT_EQ(ToCodePage(L"日本", 6), "\xe6\x97\xa5\xe6\x9c\xac");
  EXPECT_EQ(ToCodePage(L"abc", 0), "");
  EXPECT_EQ(FromCodePage("abcdef", 4), L"abcd");
}

TEST(TextTest, BrokenBytesBecomeReplacementCharactersAndNothingElseIsLost) {
  // A stray continuation byte, a cut-off sequence at the end.
  EXPECT_EQ(FromCodePage("a\x80z"), L"a\uFFFDz");
  EXPECT_EQ(FromCodePage("ab\xe6\x97"), L"ab\uFFFD\uFFFD");
  EXPECT_EQ(FromCodePage(std::string_view("x\0y", 3)), L"x") << "text ends at NUL";
}

}  // namespace
}  // namespace zenpo::platform
