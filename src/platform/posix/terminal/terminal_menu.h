// The window's menu as the terminal shows it: which item is highlighted, whether the
// sub-menu is open, where the boxes stand on the screen and which item a click hits.
// Plain values; the terminal front end keeps one on the loop's thread.
#pragma once

#include <string>
#include <vector>

#include "platform/menu.h"

namespace zenpo::platform {

// A box on the screen, border included. A box taller than the screen shows the items
// from first on, as many as fit (height - 2).
struct MenuBox {
  int top = 0;
  int left = 0;
  int height = 0;
  int width = 0;
  int first = 0;
  bool Contains(int row, int column) const {
    return row >= top && row < top + height && column >= left && column < left + width;
  }
};

// Keyboard and mouse navigation through a menu of one level of sub-menus. Separators are
// never highlighted; moving past the last item wraps to the first.
class MenuNavigator {
 public:
  explicit MenuNavigator(std::vector<MenuItem> items = {});

  const std::vector<MenuItem>& items() const { return items_; }
  bool is_open() const { return open_; }
  bool submenu_open() const { return sub_ >= 0; }
  int highlighted() const { return top_; }      // in items(); -1 when closed
  int submenu_highlighted() const { return sub_; }  // in the sub-menu; -1 when closed

  // Opens the menu with its first item highlighted, the sub-menu closed.
  void Open();
  void Close();
  // Moves the highlight by delta items within the innermost open level.
  void Move(int delta);
  // Enter: on an item with a sub-menu opens it and gives 0; on a command closes the menu
  // and gives its command id.
  int Activate();
  // Right arrow: opens the highlighted item's sub-menu, if it has one.
  void Forward();
  // Esc or left arrow: closes the sub-menu, or the menu when no sub-menu is open.
  void Back();

  // Where the menu stands: the drop-down anchored at (row, column), growing up from the
  // row above the anchor when bottom_aligned, down from the anchor row otherwise, moved
  // to fit the screen where it can; the sub-menu beside the item that opens it. A menu
  // taller than the screen shows what fits and scrolls to keep the highlight in view.
  struct Placement {
    MenuBox main;
    MenuBox sub;  // height 0 while the sub-menu is closed
  };
  Placement Place(int anchor_row, int anchor_column, bool bottom_aligned, int rows,
                  int columns) const;

  // A click at (row, column): highlights the item hit and acts as Activate() on it. Gives
  // the chosen command id, 0 when nothing was chosen, -1 when the click fell outside the
  // menu (which closes it).
  int Click(const Placement& placement, int row, int column);

  // The text of an item row between the box's borders: check mark, label, a sign for a
  // sub-menu; inner_width columns wide.
  static std::wstring ItemText(const MenuItem& item, bool checked, int inner_width);
  // Inner width of a box listing these items.
  static int InnerWidth(const std::vector<MenuItem>& items);

 private:
  const std::vector<MenuItem>* Level() const;
  int& Cursor();
  void OpenSubmenu();

  std::vector<MenuItem> items_;
  bool open_ = false;
  int top_ = -1;
  int sub_ = -1;
  // The first item shown of each level; moved by Place() only as far as the highlight needs.
  mutable int top_first_ = 0;
  mutable int sub_first_ = 0;
};

inline bool IsSeparator(const MenuItem& item) {
  return item.command_id == 0 && item.label.empty() && item.submenu.empty();
}

}  // namespace zenpo::platform
