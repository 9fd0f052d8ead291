// Instance slots between processes: which of the numbered slots are taken by a running
// instance of the program, claiming one, and posting a command to the instance in a
// slot. Instances that share a program directory share the slots.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace zenpo::platform {

// A slot held by this process; released when destroyed (or when the process ends,
// however it ends). Used on one thread.
class InstanceClaim {
 public:
  virtual ~InstanceClaim() = default;
  // A descriptor that becomes readable when another process posts a command; -1 where
  // commands arrive as messages to the instance's window instead (Windows).
  virtual int command_fd() const = 0;
  // The next posted command, if one is waiting; never blocks.
  virtual std::optional<std::uint32_t> TakeCommand() = 0;
};

// The slots of the program in program_dir.
class InstanceSlots {
 public:
  explicit InstanceSlots(const std::wstring& program_dir);

  // The folder that holds the slots when someone else could reach into it (it is not a
  // directory of this user's own that nobody else may enter): another user could then
  // hold the slots or send commands, so none is used. "" when the folder is private.
  const std::wstring& unsafe_folder() const { return unsafe_folder_; }

  // Whether a running process holds slot n.
  bool IsTaken(int slot) const;
  // Claims slot n; null when another process holds it already.
  std::unique_ptr<InstanceClaim> Claim(int slot) const;
  // Sends a command to the process in slot n; false when no process answers.
  bool PostCommand(int slot, std::uint32_t command) const;

 private:
  std::string base_;  // path prefix of the lock files and sockets
  std::wstring unsafe_folder_;
};

}  // namespace zenpo::platform
