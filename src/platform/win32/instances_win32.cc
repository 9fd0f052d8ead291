// Instance slots on Windows: the window class "ZENPO_main_n" names the running instance;
// a named mutex claims the slot from start-up until the window exists.
#include <windows.h>

#include "platform/instances.h"

namespace zenpo::platform {
namespace {

std::wstring ClassName(int slot) { return L"ZENPO_main_" + std::to_wstring(slot); }
std::wstring MutexName(int slot) { return L"Local\\" + ClassName(slot); }

class MutexClaim : public InstanceClaim {
 public:
  explicit MutexClaim(HANDLE mutex) : mutex_(mutex) {}
  ~MutexClaim() override { CloseHandle(mutex_); }
  // Commands arrive as window messages to the instance's window, not through a descriptor.
  int command_fd() const override { return -1; }
  std::optional<std::uint32_t> TakeCommand() override { return std::nullopt; }

 private:
  HANDLE mutex_;
};

}  // namespace

InstanceSlots::InstanceSlots(const std::wstring&) {}

bool InstanceSlots::IsTaken(int slot) const {
  if (FindWindowW(ClassName(slot).c_str(), nullptr) != nullptr) return true;
  HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, MutexName(slot).c_str());
  if (mutex == nullptr) return false;
  CloseHandle(mutex);
  return true;
}

std::unique_ptr<InstanceClaim> InstanceSlots::Claim(int slot) const {
  HANDLE mutex = CreateMutexW(nullptr, FALSE, MutexName(slot).c_str());
  if (mutex == nullptr) return nullptr;
  if (GetLastError() == ERROR_ALREADY_EXISTS ||
      FindWindowW(ClassName(slot).c_str(), nullptr) != nullptr) {
    CloseHandle(mutex);
    return nullptr;
  }
  return std::make_unique<MutexClaim>(mutex);
}

bool InstanceSlots::PostCommand(int slot, std::uint32_t command) const {
  HWND window = FindWindowW(ClassName(slot).c_str(), nullptr);
  return window != nullptr && PostMessageW(window, WM_COMMAND, command, 0) != 0;
}

}  // namespace zenpo::platform
