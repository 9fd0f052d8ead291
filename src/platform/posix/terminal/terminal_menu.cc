// MenuNavigator: highlight movement, sub-menu opening, placement and hit tests.
#include "platform/posix/terminal/terminal_menu.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "platform/posix/terminal/terminal_layout.h"

namespace zenpo::platform {
namespace {

constexpr wchar_t kCheckMark = L'\u2713';
constexpr wchar_t kSubmenuSign = L'\u25b8';

int FirstSelectable(const std::vector<MenuItem>& items) {
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (!IsSeparator(items[i])) return static_cast<int>(i);
  }
  return -1;
}

// Fits a box of count items into rows screen rows, keeping item `shown` in view; first
// is where the box scrolled to before and becomes where it scrolls to now.
void FitRows(MenuBox& box, int count, int rows, int shown, int& first) {
  const int visible = std::clamp(rows - 2, 1, std::max(1, count));
  box.height = std::min(count, visible) + 2;
  if (shown >= 0 && shown < first) first = shown;
  if (shown >= first + visible) first = shown - visible + 1;
  first = std::clamp(first, 0, std::max(0, count - visible));
  box.first = first;
}

}  // namespace

MenuNavigator::MenuNavigator(std::vector<MenuItem> items) : items_(std::move(items)) {}

void MenuNavigator::Open() {
  open_ = true;
  top_ = FirstSelectable(items_);
  sub_ = -1;
  top_first_ = 0;
  sub_first_ = 0;
}

void MenuNavigator::Close() {
  open_ = false;
  top_ = -1;
  sub_ = -1;
}

const std::vector<MenuItem>* MenuNavigator::Level() const {
  if (sub_ >= 0) return &items_[top_].submenu;
  return &items_;
}

int& MenuNavigator::Cursor() { return sub_ >= 0 ? sub_ : top_; }

void MenuNavigator::Move(int delta) {
  if (!open_ || top_ < 0) return;
  const std::vector<MenuItem>& level = *Level();
  const int n = static_cast<int>(level.size());
  int& cursor = Cursor();
  const int step = delta < 0 ? -1 : 1;
  for (int moves = std::abs(delta); moves > 0; --moves) {
    int next = cursor;
    for (int tries = 0; tries < n; ++tries) {
      next = ((next + step) % n + n) % n;
      if (!IsSeparator(level[next])) break;
    }
    cursor = next;
  }
}

void MenuNavigator::OpenSubmenu() {
  if (top_ < 0 || items_[top_].submenu.empty()) return;
  sub_ = FirstSelectable(items_[top_].submenu);
  sub_first_ = 0;
}

int MenuNavigator::Activate() {
  if (!open_ || top_ < 0) return 0;
  if (sub_ < 0 && !items_[top_].submenu.empty()) {
    OpenSubmenu();
    return 0;
  }
  const int id = (*Level())[Cursor()].command_id;
  Close();
  return id;
}

void MenuNavigator::Forward() {
  if (open_ && sub_ < 0) OpenSubmenu();
}

void MenuNavigator::Back() {
  if (sub_ >= 0) {
    sub_ = -1;
  } else {
    Close();
  }
}

int MenuNavigator::InnerWidth(const std::vector<MenuItem>& items) {
  int widest = 0;
  for (const MenuItem& item : items) widest = std::max(widest, DisplayWidth(item.label));
  return widest + 5;  // " ✓ " before the label, " ▸" after it
}

std::wstring MenuNavigator::ItemText(const MenuItem& item, bool checked, int inner_width) {
  std::wstring text = L" ";
  text += checked ? kCheckMark : L' ';
  text += L' ';
  text += FitToWidth(item.label, std::max(0, inner_width - 5));
  const int used = DisplayWidth(text);
  text.append(static_cast<std::size_t>(std::max(0, inner_width - 2 - used)), L' ');
  text += item.submenu.empty() ? L' ' : kSubmenuSign;
  text += L' ';
  return FitToWidth(text, inner_width);
}

MenuNavigator::Placement MenuNavigator::Place(int anchor_row, int anchor_column,
                                              bool bottom_aligned, int rows,
                                              int columns) const {
  Placement p;
  FitRows(p.main, static_cast<int>(items_.size()), rows, top_, top_first_);
  p.main.width = InnerWidth(items_) + 2;
  p.main.top = bottom_aligned ? anchor_row - p.main.height : anchor_row;
  if (p.main.top + p.main.height > rows) p.main.top = rows - p.main.height;
  p.main.top = std::max(0, p.main.top);
  p.main.left = std::clamp(anchor_column, 0, std::max(0, columns - p.main.width));
  if (sub_ >= 0) {
    const std::vector<MenuItem>& sub = items_[top_].submenu;
    FitRows(p.sub, static_cast<int>(sub.size()), rows, sub_, sub_first_);
    p.sub.width = InnerWidth(sub) + 2;
    // The sub-menu's first item stands on the row of the item that opened it.
    p.sub.top = p.main.top + top_ - p.main.first;
    if (p.sub.top + p.sub.height > rows) p.sub.top = rows - p.sub.height;
    p.sub.top = std::max(0, p.sub.top);
    p.sub.left = p.main.left + p.main.width - 1;
    if (p.sub.left + p.sub.width > columns) p.sub.left = std::max(0, columns - p.sub.width);
  }
  return p;
}

int MenuNavigator::Click(const Placement& placement, int row, int column) {
  if (!open_) return -1;
  auto hit = [&](const MenuBox& box, const std::vector<MenuItem>& level) {
    if (column <= box.left || column >= box.left + box.width - 1) return -1;
    if (row <= box.top || row >= box.top + box.height - 1) return -1;
    const int index = box.first + row - box.top - 1;
    if (index >= static_cast<int>(level.size())) return -1;
    return IsSeparator(level[index]) ? -1 : index;
  };
  if (sub_ >= 0 && placement.sub.Contains(row, column)) {
    const int index = hit(placement.sub, items_[top_].submenu);
    if (index < 0) return 0;
    sub_ = index;
    return Activate();
  }
  if (placement.main.Contains(row, column)) {
    const int index = hit(placement.main, items_);
    if (index < 0) return 0;
    sub_ = -1;
    top_ = index;
    return Activate();
  }
  Close();
  return -1;
}

}  // namespace zenpo::platform
