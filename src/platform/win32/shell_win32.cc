// The shell's "Open" verb on Windows: ShellExecuteExW without error boxes.
#include <windows.h>
#include <shellapi.h>

#include "platform/shell.h"

namespace zenpo::platform {

bool ShellOpen(const std::wstring& path) {
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_FLAG_NO_UI;  // 0x400: failures stay silent
  info.lpVerb = L"Open";
  info.lpFile = path.c_str();
  info.nShow = SW_SHOWNORMAL;
  return ShellExecuteExW(&info) != 0;
}

}  // namespace zenpo::platform
