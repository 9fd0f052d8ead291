#include <gtest/gtest.h>
#include <locale.h>

#include <string>

#include "app/main_window.h"
#include "platform/posix/terminal/terminal_layout.h"
#include "platform/posix/terminal/terminal_menu.h"

namespace zenpo::platform {
namespace {

using Rows = std::vector<std::wstring>;

TEST(TerminalLayoutTest, WrapsByColumnsAtSpacesAndNeverLetsControlCharactersThrough) {
  // Widths follow the character locale; the front end runs under a UTF-8 one.
  const std::string former = setlocale(LC_CTYPE, nullptr);
  ASSERT_NE(setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
  EXPECT_EQ(DisplayWidth(L"ZENPOの常駐e\u0301"), 12);  // a combining accent takes no column
  EXPECT_EQ(FitToWidth(L"常駐を開始", 5), L"常駐");
  EXPECT_EQ(RightAlignedStart(L"Resume OK", 0, 79), 70);
  EXPECT_EQ(RightAlignedStart(L"Resume OK", 3, 12), 3);
  EXPECT_EQ(RightAlignedStart(L"Resume OK", 3, 11), -1) << "left out whole, never cut";
  // An escape sequence inside a URL must not reach the terminal: one visible column each.
  EXPECT_EQ(PrintableText(L"h/\x1b[2Jx\tb\x7f\x9b"), L"h/?[2Jx?b??");
  const struct {
    const wchar_t* text;
    int columns;
    Rows rows;
  } kCases[] = {
      {L"http://h/a b/c.zip", 12, {L"http://h/a", L"b/c.zip"}},  // the space at the break goes with it
      {L"  abcdef", 4, {L"  ab", L"cdef"}},  // leading spaces never make an empty row
      {L"abc", 0, {L"a", L"b", L"c"}},
      {L"a常駐", 4, {L"a常", L"駐"}},  // a wide character that does not fit moves on whole
      {L"Logfile\r\nC:/x\n\nend", 20, {L"Logfile", L"C:/x", L"", L"end"}},
  };
  for (const auto& c : kCases) EXPECT_EQ(WrapText(c.text, c.columns), c.rows) << c.columns;
  setlocale(LC_CTYPE, former.c_str());
}

TEST(TerminalMenuTest, KeysSkipSeparatorsAndWrapClicksHitTheItemUnderThem) {
  MenuNavigator menu(MainMenu());  // HIDE PAUSE EXIT - OPEN(iniFIle ListFile LogFile) - CheckClip NoWait
  menu.Open();
  menu.Move(-1);
  EXPECT_EQ(menu.highlighted(), 7);  // NoWait
  menu.Move(-2);
  EXPECT_EQ(menu.highlighted(), 4);  // past the separator to OPEN

  // Drop-down from the button on the bottom row of a 24-row screen.
  menu.Open();
  MenuNavigator::Placement p = menu.Place(23, 0, true, 24, 80);
  EXPECT_EQ(p.main.top + p.main.height, 23);
  EXPECT_EQ(menu.Click(p, p.main.top + 1 + 3, 2), 0);  // a separator
  EXPECT_EQ(menu.Click(p, p.main.top + 1 + 4, 2), 0);  // OPEN
  p = menu.Place(23, 0, true, 24, 80);
  EXPECT_EQ(menu.Click(p, p.sub.top + 1 + 2, p.sub.left + 2), 40010);
  menu.Open();
  EXPECT_EQ(menu.Click(p, 0, 70), -1) << "a click outside closes";
  // On a small screen the boxes stay inside it.
  menu.Open();
  menu.Move(4);
  menu.Forward();
  p = menu.Place(1, 0, false, 8, 20);
  EXPECT_EQ(p.main.top, 0);
  EXPECT_GE(p.sub.top, 0);
  EXPECT_LE(p.sub.left + p.sub.width, 20);
  // A menu taller than the screen scrolls with its highlight, down to the last item.
  menu.Open();
  menu.Move(-1);  // round to NoWait
  p = menu.Place(5, 0, true, 6, 20);
  EXPECT_EQ(p.main.first, 4);
  EXPECT_EQ(menu.Click(p, 4, 2), 40007) << "the last row shows the last item";
}

}  // namespace
}  // namespace zenpo::platform
