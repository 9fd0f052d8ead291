// Child processes on fork/exec: process groups and the terminal's foreground, a pidfd
// (or an inherited pipe) to learn of the end.
#include "platform/posix/terminal/terminal_child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/process_posix.h"
#include "platform/process.h"

extern char** environ;

namespace zenpo::platform {
namespace {

constexpr int kTerminalFd = STDIN_FILENO;

int PidFdOpen(int pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

}  // namespace

std::optional<ForegroundChild> StartInForeground(const std::vector<std::string>& argv) {
  if (argv.empty()) return std::nullopt;
  std::vector<char*> args = ArgvPointers(argv);
  // The pipe's write end lives in the child until it ends: the fallback when the system
  // has no pidfd.
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return std::nullopt;
  const bool has_terminal = tcgetpgrp(kTerminalFd) == getpgrp();

  AllSignalsBlocked blocked;
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    if (has_terminal) tcsetpgrp(kTerminalFd, getpid());
    CloseOnExecAboveStandardStreams();
    fcntl(ends[1], F_SETFD, 0);
    ResetSignalsInChild();
    signal(SIGTSTP, SIG_IGN);
    UnblockAllInChild();
    execve(args[0], args.data(), environ);
    _exit(127);
  }
  if (pid < 0) {
    close(ends[0]);
    close(ends[1]);
    return std::nullopt;
  }
  // Both sides set the group and the foreground, so neither order of running loses it.
  setpgid(pid, pid);
  if (has_terminal) tcsetpgrp(kTerminalFd, pid);
  close(ends[1]);
  ForegroundChild child;
  child.pid = pid;
  child.took_terminal = has_terminal;
  child.end_fd = PidFdOpen(pid);
  if (child.end_fd >= 0) {
    close(ends[0]);
  } else {
    child.end_fd = ends[0];
  }
  return child;
}

void FinishForegroundChild(const ForegroundChild& child, bool wait) {
  int status = 0;
  while (waitpid(child.pid, &status, wait ? 0 : WNOHANG) < 0 && errno == EINTR) {
  }
  if (child.end_fd >= 0) close(child.end_fd);
  if (!child.took_terminal) return;
  AllSignalsBlocked blocked;
  tcsetpgrp(kTerminalFd, getpgrp());
}

void HangUpForegroundChild(const ForegroundChild& child, std::chrono::milliseconds grace) {
  killpg(child.pid, SIGHUP);
  killpg(child.pid, SIGCONT);
  struct pollfd end {child.end_fd, POLLIN, 0};
  const auto deadline = std::chrono::steady_clock::now() + grace;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    const int ready = poll(&end, 1, static_cast<int>(left.count()));
    if (ready > 0 || (ready < 0 && errno != EINTR)) break;
  }
  FinishForegroundChild(child, false);
}

}  // namespace zenpo::platform
