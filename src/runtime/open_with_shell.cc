// OpenWithShell over the platform shell.
#include "runtime/open_with_shell.h"

#include <chrono>
#include <thread>

#include "platform/shell.h"

namespace zenpo {

int OpenWithShell(const std::wstring& path) {
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  return platform::ShellOpen(path) ? 0 : 1;
}

}  // namespace zenpo
