// The window's menu as a front end shows it: labels, command ids, one level of sub-menus.
#pragma once

#include <string>
#include <vector>

namespace zenpo::platform {

// An item with command_id 0 and no label is a separator; an item with a submenu opens it
// instead of sending a command.
struct MenuItem {
  std::wstring label;
  int command_id = 0;
  std::vector<MenuItem> submenu;
};

}  // namespace zenpo::platform
