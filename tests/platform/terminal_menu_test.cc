#include "platform/terminal/terminal_menu.h"

#include <gtest/gtest.h>

#include "support/program_menu.h"

namespace zenpo::platform {
namespace {

using test::ProgramMenu;

TEST(MenuNavigatorTest, KeysSkipSeparatorsWrapAroundAndReachTheSubmenu) {
  MenuNavigator menu(ProgramMenu());
  EXPECT_EQ(menu.Activate(), 0);  // closed: nothing to choose
  menu.Open();
  EXPECT_EQ(menu.highlighted(), 0);
  menu.Move(-1);
  EXPECT_EQ(menu.highlighted(), 7);  // NoWait
  menu.Move(-2);
  EXPECT_EQ(menu.highlighted(), 4);  // past the separator to OPEN
  menu.Move(-1);
  EXPECT_EQ(menu.highlighted(), 2);
  menu.Move(1);
  EXPECT_EQ(menu.Activate(), 0);  // OPEN opens its sub-menu
  EXPECT_TRUE(menu.submenu_open());
  menu.Move(1);
  EXPECT_EQ(menu.Activate(), 40012);
  EXPECT_FALSE(menu.is_open());

  menu.Open();
  menu.Move(3);
  menu.Forward();
  EXPECT_EQ(menu.submenu_highlighted(), 0);
  menu.Back();
  EXPECT_TRUE(menu.is_open());
  EXPECT_FALSE(menu.submenu_open());
  menu.Back();
  EXPECT_FALSE(menu.is_open());
}

TEST(MenuNavigatorTest, ClicksChooseItemsOpenTheSubmenuAndCloseOutside) {
  MenuNavigator menu(ProgramMenu());
  menu.Open();
  // Drop-down from a button on the bottom row of a 24-row screen.
  MenuNavigator::Placement p = menu.Place(23, 0, true, 24, 80);
  EXPECT_EQ(p.main.top + p.main.height, 23);
  EXPECT_EQ(menu.Click(p, p.main.top + 1 + 3, 2), 0);  // a separator
  EXPECT_TRUE(menu.is_open());
  EXPECT_EQ(menu.Click(p, p.main.top + 1 + 4, 2), 0);  // OPEN
  ASSERT_TRUE(menu.submenu_open());
  p = menu.Place(23, 0, true, 24, 80);
  ASSERT_GT(p.sub.height, 0);
  // Clicking OPEN again while its sub-menu is open chooses nothing from the sub-menu.
  EXPECT_EQ(menu.Click(p, p.main.top + 1 + 4, 2), 0);
  EXPECT_TRUE(menu.is_open());
  p = menu.Place(23, 0, true, 24, 80);
  EXPECT_EQ(menu.Click(p, p.sub.top + 1 + 2, p.sub.left + 2), 40010);
  EXPECT_FALSE(menu.is_open());

  menu.Open();
  p = menu.Place(23, 0, true, 24, 80);
  EXPECT_EQ(menu.Click(p, 0, 70), -1);
  EXPECT_FALSE(menu.is_open());
}

TEST(MenuNavigatorTest, BoxesStayOnASmallScreen) {
  MenuNavigator menu(ProgramMenu());
  menu.Open();
  menu.Move(4);
  menu.Forward();
  const MenuNavigator::Placement p = menu.Place(1, 0, false, 8, 20);
  EXPECT_EQ(p.main.top, 0);
  EXPECT_GE(p.sub.top, 0);
  EXPECT_LE(p.sub.left + p.sub.width, 20);
}

TEST(MenuNavigatorTest, AMenuTallerThanTheScreenScrollsToTheHighlight) {
  MenuNavigator menu(ProgramMenu());
  menu.Open();
  MenuNavigator::Placement p = menu.Place(5, 0, true, 6, 20);
  EXPECT_EQ(p.main.top, 0);
  EXPECT_EQ(p.main.height, 6) << "four items and the borders";
  EXPECT_EQ(p.main.first, 0);
  menu.Move(-1);  // round to NoWait, the last item
  p = menu.Place(5, 0, true, 6, 20);
  EXPECT_EQ(p.main.first, 4);
  EXPECT_EQ(menu.Click(p, 4, 2), 40007) << "the last row shows the last item";
}

}  // namespace
}  // namespace zenpo::platform
