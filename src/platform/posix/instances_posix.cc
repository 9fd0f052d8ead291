// Instance slots on POSIX: one lock file (flock) and one Unix socket per slot in the
// user's runtime folder, named after a hash of the program directory. The holder removes
// both when it lets the slot go; a process that dies leaves them for the next claim.
// The folder must be the user's alone: /tmp/zenpo-<uid> can be made by anyone first.
#include "platform/instances.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "platform/text.h"

namespace zenpo::platform {
namespace {

std::string RuntimeFolder() {
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  std::string dir;
  if (xdg != nullptr && xdg[0] == '/') {
    dir = std::string(xdg) + "/zenpo";
  } else {
    dir = "/tmp/zenpo-" + std::to_string(getuid());
  }
  mkdir(dir.c_str(), 0700);
  return dir;
}

// Whether dir itself (not a link to it) is a directory of this user that no one else
// may enter, list or write.
bool IsPrivateFolder(const std::string& dir) {
  struct stat st;
  return lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
         (st.st_mode & 077) == 0;
}

sockaddr_un SocketAddress(const std::string& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", path.c_str());
  return addr;
}

class PosixClaim : public InstanceClaim {
 public:
  PosixClaim(int lock_fd, std::string lock_path, int listen_fd, std::string socket_path)
      : lock_fd_(lock_fd),
        lock_path_(std::move(lock_path)),
        listen_fd_(listen_fd),
        socket_path_(std::move(socket_path)) {}
  ~PosixClaim() override {
    unlink(socket_path_.c_str());
    close(listen_fd_);
    // Removed while still locked: a claimer that opened this file meanwhile finds the
    // name gone once it holds the lock, and tries again on a fresh file.
    unlink(lock_path_.c_str());
    close(lock_fd_);  // releases the flock
  }
  int command_fd() const override { return listen_fd_; }
  std::optional<std::uint32_t> TakeCommand() override {
    for (;;) {
      const int conn = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (conn < 0) return std::nullopt;
      // Only this user's processes command the instance, however the socket file's mode
      // came out; another user's connection is dropped unread.
      ucred peer{};
      socklen_t size = sizeof(peer);
      if (getsockopt(conn, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != geteuid()) {
        close(conn);
        continue;
      }
      // The sender writes its four bytes before it closes; a short wait covers a slow one.
      timeval tv{1, 0};
      setsockopt(conn, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
      std::uint32_t command = 0;
      const ssize_t n = recv(conn, &command, sizeof(command), MSG_WAITALL);
      close(conn);
      if (n != static_cast<ssize_t>(sizeof(command))) return std::nullopt;
      return command;
    }
  }

 private:
  int lock_fd_;
  std::string lock_path_;
  int listen_fd_;
  std::string socket_path_;
};

// The lock file at path, created if need be and locked for this process; -1 when another
// process holds it. The lock counts only while the name still leads to the locked file:
// a holder removes the file before it lets go, so a lock won on a removed file is no slot.
// A link in its place is never followed (it would have us create and lock a file
// elsewhere): it is removed, and a file of our own takes its name.
int LockSlotFile(const std::string& path) {
  for (bool link_removed = false;;) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0 && errno == ELOOP && !link_removed && unlink(path.c_str()) == 0) {
      link_removed = true;
      continue;
    }
    if (fd < 0) return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      close(fd);
      return -1;
    }
    struct stat held {}, named {};
    if (fstat(fd, &held) == 0 && stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino) {
      return fd;
    }
    close(fd);
  }
}

}  // namespace

InstanceSlots::InstanceSlots(const std::wstring& program_dir) {
  const std::size_t h = std::hash<std::string>{}(ToCodePage(program_dir));
  char name[64];
  std::snprintf(name, sizeof(name), "/slot-%016zx-", h);
  const std::string folder = RuntimeFolder();
  if (IsPrivateFolder(folder)) {
    base_ = folder + name;
  } else {
    unsafe_folder_ = PathFromSystem(folder);
  }
}

bool InstanceSlots::IsTaken(int slot) const {
  if (base_.empty()) return false;
  const std::string lock_path = base_ + std::to_string(slot) + ".lock";
  const int fd = open(lock_path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  const bool taken = flock(fd, LOCK_SH | LOCK_NB) != 0;
  close(fd);
  return taken;
}

std::unique_ptr<InstanceClaim> InstanceSlots::Claim(int slot) const {
  if (base_.empty()) return nullptr;
  const std::string lock_path = base_ + std::to_string(slot) + ".lock";
  const std::string socket_path = base_ + std::to_string(slot) + ".sock";
  const int lock_fd = LockSlotFile(lock_path);
  if (lock_fd < 0) return nullptr;
  // The lock is ours, so a socket file left behind belongs to an ended process.
  unlink(socket_path.c_str());
  const int listen_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const sockaddr_un addr = SocketAddress(socket_path);
  if (listen_fd < 0 || bind(listen_fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0 ||
      listen(listen_fd, 8) != 0) {
    if (listen_fd >= 0) close(listen_fd);
    unlink(lock_path.c_str());
    close(lock_fd);
    return nullptr;
  }
  return std::make_unique<PosixClaim>(lock_fd, lock_path, listen_fd, socket_path);
}

bool InstanceSlots::PostCommand(int slot, std::uint32_t command) const {
  if (base_.empty()) return false;
  const std::string socket_path = base_ + std::to_string(slot) + ".sock";
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const sockaddr_un addr = SocketAddress(socket_path);
  bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) == 0 &&
            send(fd, &command, sizeof(command), MSG_NOSIGNAL) == sizeof(command);
  close(fd);
  return ok;
}

}  // namespace zenpo::platform
