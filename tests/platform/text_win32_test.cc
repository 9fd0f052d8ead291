// The ANSI code page as Windows gives it; the tests run under a Japanese locale (932).
#include "platform/text.h"

#include <gtest/gtest.h>

namespace zenpo::platform {
namespace {

TEST(TextWin32Test, JapaneseTextIsCodePage932WithWholeCharacterLimits) {
  ASSERT_EQ(CodePageName(), "CP932") << "run under a Japanese locale (LANG=ja_JP.UTF-8)";
  const std::wstring text = L"ZENPOの常駐を開始します";
  const std::string bytes = ToCodePage(text);
  EXPECT_EQ(bytes, "ZENPO\x82\xcc\x8f\xed\x92\x93\x82\xf0\x8a\x4a\x8e\x6e\x82\xb5\x82\xdc\x82\xb7");
  EXPECT_EQ(FromCodePage(bytes), text);
  EXPECT_EQ(ToCodePage(L"日本", 3), "\x93\xfa") << "never half a double-byte character";
  EXPECT_EQ(FromCodePage("abcdef", 4), L"abcd");
  EXPECT_EQ(FromCodePage(std::string_view("x\0y", 3)), L"x") << "text ends at NUL";
}

}  // namespace
}  // namespace zenpo::platform
