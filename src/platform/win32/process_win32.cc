// The running program on Windows: GetModuleFileNameW and CreateProcessW.
#include <windows.h>

#include <string>

#include "platform/process.h"

namespace zenpo::platform {

std::wstring OwnFileName() {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (n == 0) return L"";
    if (n < name.size()) {
      name.resize(n);
      return name;
    }
    name.resize(name.size() * 2);  // cut off: ask again with room
  }
}

std::wstring ProgramDirectory() {
  const std::wstring exe = OwnFileName();
  const std::size_t slash = exe.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : exe.substr(0, slash);
}

bool StartSelf(std::wstring_view command_line) {
  const std::wstring exe = OwnFileName();
  if (exe.empty()) return false;
  std::wstring line = L"\"" + exe + L"\" " + std::wstring(command_line);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

// A Windows process cannot load another image into itself; the front end never asks.
bool ReplaceSelf(std::wstring_view) { return false; }

const bool kExitStatusReportsAppendFailure = false;

}  // namespace zenpo::platform
