// ShellOpen on POSIX: executables are started directly, other files go to xdg-open; the
// program is started through a double fork so it is never our child to reap.
#include "platform/shell.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/text.h"

extern char** environ;

namespace zenpo::platform {
namespace {

// The first executable file named name in a directory of $PATH, or "".
std::string FindOnPath(std::string_view name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return "";
  const std::string_view dirs = path;
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string_view::npos) end = dirs.size();
    const std::string_view dir = dirs.substr(start, end - start);
    std::string candidate(dir.empty() ? std::string_view(".") : dir);
    candidate.push_back('/');
    candidate.append(name);
    struct stat st;
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    start = end + 1;
  }
  return "";
}

// Runs between fork and exec, so only async-signal-safe calls: a clean signal state,
// the standard streams on /dev/null, and no descriptor of ours but the report pipe.
[[noreturn]] void ExecDetached(char* const* argv, int report_fd) {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction dfl = {};
  dfl.sa_handler = SIG_DFL;
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGPIPE, SIGXFSZ, SIGCHLD}) {
    sigaction(sig, &dfl, nullptr);
  }
  const int null_fd = open("/dev/null", O_RDWR);
  if (null_fd >= 0) {
    dup2(null_fd, 0);
    dup2(null_fd, 1);
    dup2(null_fd, 2);
  }
  if (report_fd != 3) {
    dup2(report_fd, 3);
    report_fd = 3;
  }
  fcntl(report_fd, F_SETFD, FD_CLOEXEC);
#ifdef SYS_close_range
  syscall(SYS_close_range, 4u, ~0u, 0u);
#endif
  execve(argv[0], argv, environ);
  const int err = errno;
  (void)!write(report_fd, &err, sizeof(err));
  _exit(127);
}

// Starts argv[0] detached; true once exec has succeeded.
bool SpawnDetached(std::vector<std::string> words) {
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return false;
  const pid_t child = fork();
  if (child < 0) {
    close(report[0]);
    close(report[1]);
    return false;
  }
  if (child == 0) {
    close(report[0]);
    setsid();
    const pid_t grandchild = fork();
    if (grandchild == 0) ExecDetached(argv.data(), report[1]);
    if (grandchild < 0) {
      const int err = errno;
      (void)!write(report[1], &err, sizeof(err));
    }
    _exit(0);
  }
  close(report[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  // The pipe closes unread on a successful exec; an errno arrives when it failed.
  int err = 0;
  ssize_t n;
  while ((n = read(report[0], &err, sizeof(err))) < 0 && errno == EINTR) {
  }
  close(report[0]);
  return n == 0;
}

}  // namespace

bool ShellOpen(const std::wstring& path) {
  const std::string file = NarrowPath(path);
  struct stat st;
  if (file.empty() || stat(file.c_str(), &st) != 0) return false;
  if (S_ISREG(st.st_mode) && access(file.c_str(), X_OK) == 0) {
    // A relative name must not be looked up on $PATH.
    std::string program = file.find('/') == std::string::npos ? std::string("./") : std::string();
    program += file;
    return SpawnDetached({program});
  }
  const std::string opener = FindOnPath("xdg-open");
  if (opener.empty()) return false;
  return SpawnDetached({opener, file});
}

}  // namespace zenpo::platform
