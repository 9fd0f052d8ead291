// Child processes on fork/exec: process groups and the terminal's foreground, a pidfd
// (or an inherited pipe) to learn of the end, a double fork for detached starts.
#include "platform/posix/terminal/terminal_child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/process.h"

extern char** environ;

namespace zenpo::platform {
namespace {

constexpr int kTerminalFd = STDIN_FILENO;

std::vector<char*> ArgvPointers(const std::vector<std::string>& argv) {
  std::vector<char*> out;
  for (const std::string& arg : argv) out.push_back(const_cast<char*>(arg.c_str()));
  out.push_back(nullptr);
  return out;
}

// In a fresh child, all signals blocked: the caller's handlers would write into the
// caller's own descriptors, so every caught signal goes back to its default first.
void ResetSignalsInChild() {
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  for (int signo = 1; signo < NSIG; ++signo) {
    struct sigaction old {};
    if (sigaction(signo, nullptr, &old) == 0 && old.sa_handler != SIG_IGN) {
      sigaction(signo, &dfl, nullptr);
    }
  }
}

void UnblockAllInChild() {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
}

// Blocks every signal on the calling thread for its lifetime: a fork then never runs a
// handler of ours in the child, and the terminal calls raise no SIGTTOU.
class AllSignalsBlocked {
 public:
  AllSignalsBlocked() {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &former_);
  }
  ~AllSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &former_, nullptr); }

 private:
  sigset_t former_;
};

int PidFdOpen(int pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

}  // namespace

std::string FindOnPath(const std::string& name) {
  auto executable = [](const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
  };
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos) return executable(name) ? name : std::string();
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    // An empty entry names the working directory.
    const std::string candidate =
        (end == start ? std::string(".") : dirs.substr(start, end - start)) + "/" + name;
    if (executable(candidate)) return candidate;
    start = end + 1;
  }
  return {};
}

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

bool StartDetached(const std::vector<std::string>& argv) {
  if (argv.empty()) return false;
  std::vector<char*> args = ArgvPointers(argv);
  const int null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null_fd < 0) return false;
  AllSignalsBlocked blocked;
  const pid_t pid = fork();
  if (pid == 0) {
    setsid();
    if (fork() == 0) {
      dup2(null_fd, STDIN_FILENO);
      dup2(null_fd, STDOUT_FILENO);
      dup2(null_fd, STDERR_FILENO);
      CloseOnExecAboveStandardStreams();
      ResetSignalsInChild();
      UnblockAllInChild();
      execve(args[0], args.data(), environ);
      _exit(127);
    }
    _exit(0);
  }
  close(null_fd);
  if (pid < 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace zenpo::platform
