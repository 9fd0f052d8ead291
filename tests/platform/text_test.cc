#include "platform/text.h"

#include <gtest/gtest.h>

namespace zenpo::platform {
namespace {

TEST(TextTest, ConvertsWholeCharactersAndMarksBrokenBytes) {
  ASSERT_EQ(CodePageName(), "UTF-8") << "tests expect a UTF-8 or plain C locale";
  const std::wstring text = L"ZENPOの常駐を開始します";
  EXPECT_EQ(FromCodePage(ToCodePage(text)), text);
  // Limits cut whole characters only.
  EXPECT_EQ(ToCodePage(L"日本", 5), "\xe6\x97\xa5");
  EXPECT_EQ(ToCodePage(L"日本", 6), "\xe6\x97\xa5\xe6\x9c\xac");
  EXPECT_EQ(FromCodePage("abcdef", 4), L"abcd");
  // A stray continuation byte, a cut-off sequence at the end; text ends at NUL.
  EXPECT_EQ(FromCodePage("a\x80z\xe6\x97\xa5"), L"a\uFFFDz日");
  EXPECT_EQ(FromCodePage("ab\xe6\x97"), L"ab\uFFFD\uFFFD");
  EXPECT_EQ(FromCodePage(std::string_view("x\0y", 3)), L"x");
}

}  // namespace
}  // namespace zenpo::platform
