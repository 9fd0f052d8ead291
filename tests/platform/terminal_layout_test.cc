#include "platform/terminal/terminal_layout.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <string>

namespace zenpo::platform {
namespace {

// Widths follow the character locale; the front end runs under a UTF-8 one.
class TerminalLayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    former_ = setlocale(LC_CTYPE, nullptr);
    ASSERT_NE(setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
  }
  void TearDown() override { setlocale(LC_CTYPE, former_.c_str()); }

 private:
  std::string former_;
};

TEST_F(TerminalLayoutTest, WideCharactersTakeTwoColumnsAndAreNeverCutInHalf) {
  EXPECT_EQ(DisplayWidth(L"ZENPO"), 5);
  EXPECT_EQ(DisplayWidth(L"ZENPOの常駐"), 11);
  EXPECT_EQ(DisplayWidth(L"e\u0301"), 1);  // a combining accent takes no column
  EXPECT_EQ(FitToWidth(L"常駐を開始", 5), L"常駐");
  EXPECT_EQ(FitToWidth(L"a常駐", 2), L"a");
  EXPECT_EQ(FitToWidth(L"abc", 0), L"");
  EXPECT_EQ(FitToWidth(L"abc", 10), L"abc");
}

TEST_F(TerminalLayoutTest, ControlCharactersCannotReachTheTerminal) {
  // An escape sequence inside a URL or a title must not clear the screen or move the
  // cursor; each control character stands in as one visible column.
  const std::wstring hostile = L"http://h/\x1b[2Jx\tb\x7f\x9b";
  const std::wstring shown = PrintableText(hostile);
  EXPECT_EQ(shown, L"http://h/?[2Jx?b??");
  EXPECT_EQ(DisplayWidth(hostile), static_cast<int>(shown.size()));
  for (const std::wstring& row : WrapText(hostile, 8)) {
    EXPECT_EQ(row.find(L'\x1b'), std::wstring::npos);
  }
}

TEST_F(TerminalLayoutTest, WrapsAtSpacesAndBreaksOnlyWordsWiderThanARow) {
  using Rows = std::vector<std::wstring>;
  EXPECT_EQ(WrapText(L"http://h/a b/c.zip", 12), (Rows{L"http://h/a", L"b/c.zip"}));
  // The space at the break goes with it; others stay as they are.
  EXPECT_EQ(WrapText(L"aaaa bbbb", 4), (Rows{L"aaaa", L"bbbb"}));
  EXPECT_EQ(WrapText(L"a  b", 10), (Rows{L"a  b"}));
  // A URL without spaces breaks where the row is full.
  EXPECT_EQ(WrapText(L"http://example.test/x", 8),
            (Rows{L"http://e", L"xample.t", L"est/x"}));
  // Leading spaces never make an empty row.
  EXPECT_EQ(WrapText(L"  abcdef", 4), (Rows{L"  ab", L"cdef"}));
  EXPECT_EQ(WrapText(L"", 5), (Rows{L""}));
  EXPECT_EQ(WrapText(L"abc", 0), (Rows{L"a", L"b", L"c"}));
}

TEST_F(TerminalLayoutTest, JapaneseWrapsByColumnsAndLineFeedsStartRows) {
  using Rows = std::vector<std::wstring>;
  EXPECT_EQ(WrapText(L"ZENPOの常駐を開始します", 10), (Rows{L"ZENPOの常", L"駐を開始し", L"ます"}));
  // A wide character that does not fit in the row's last column moves on whole.
  EXPECT_EQ(WrapText(L"a常駐", 4), (Rows{L"a常", L"駐"}));
  EXPECT_EQ(WrapText(L"Logfile\r\nC:/x\n\nend", 20), (Rows{L"Logfile", L"C:/x", L"", L"end"}));
  for (const std::wstring& row : WrapText(L"別スレッドからの報告です。 ダウンロードを続けます。", 15)) {
    EXPECT_LE(DisplayWidth(row), 15) << std::string(row.begin(), row.end());
  }
}

TEST_F(TerminalLayoutTest, RightAlignmentEndsBeforeTheEdgeAndNeverStartsLeftOfTheRoom) {
  EXPECT_EQ(RightAlignedStart(L"Resume OK", 0, 79), 70);
  EXPECT_EQ(RightAlignedStart(L"再開", 0, 10), 6);
  EXPECT_EQ(RightAlignedStart(L"Resume OK", 3, 8), 3);
}

}  // namespace
}  // namespace zenpo::platform
