// The program's menu as the window shows it, for tests of the front end and its driver.
#pragma once

#include <vector>

#include "platform/menu.h"

namespace zenpo::test {

inline std::vector<platform::MenuItem> ProgramMenu() {
  return {
      {L"HIDE", 40004, {}},
      {L"PAUSE", 40005, {}},
      {L"EXIT", 40003, {}},
      {},
      {L"OPEN", 0, {{L"iniFIle", 40011, {}}, {L"ListFile", 40012, {}}, {L"LogFile", 40010, {}}}},
      {},
      {L"CheckClip", 40006, {}},
      {L"NoWait", 40007, {}},
  };
}

}  // namespace zenpo::test
