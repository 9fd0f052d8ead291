// The running program on Linux: /proc/self/exe, $ZENPO_HOME and posix_spawn; other
// programs started detached through a double fork.
#include "platform/process.h"

#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/posix/process_posix.h"
#include "platform/text.h"

extern char** environ;

namespace zenpo::platform {
namespace {

std::string OwnFileNameNarrow() {
  std::vector<char> buf(PATH_MAX + 1);
  ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return "";
  return std::string(buf.data(), static_cast<std::size_t>(n));
}

std::string WithoutTrailingSlashes(std::string dir) {
  while (!dir.empty() && dir.back() == '/') dir.pop_back();
  return dir;
}

// An installed zenpo lies in <prefix>/bin beside <prefix>/share/doc/zenpo, where
// cmake --install and the package put it. It cannot keep its files in a system folder,
// so they go to ${XDG_DATA_HOME:-~/.local/share}/zenpo, created (0700, as the XDG base
// directory rules ask) on first start. Any other zenpo, in a build folder or a folder
// it was copied to, keeps its files beside itself: "" here.
std::string InstalledProgramDirectory(const std::string& exe_dir) {
  struct stat st;
  if (!exe_dir.ends_with("/bin") ||
      stat((exe_dir + "/../share/doc/zenpo").c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    return "";
  }
  std::string data;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
    data = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
      const passwd* pw = getpwuid(getuid());
      home = pw != nullptr ? pw->pw_dir : "";
    }
    data = std::string(home) + "/.local/share";
  }
  const std::string dir = WithoutTrailingSlashes(data) + "/zenpo";
  for (std::size_t at = dir.find('/', 1); at != std::string::npos; at = dir.find('/', at + 1)) {
    mkdir(dir.substr(0, at).c_str(), 0700);
  }
  mkdir(dir.c_str(), 0700);
  return dir;
}

constexpr unsigned kCloseRangeCloexec = 1u << 2;  // CLOSE_RANGE_CLOEXEC of <linux/close_range.h>

}  // namespace

void CloseOnExecAboveStandardStreams() {
#ifdef SYS_close_range
  if (syscall(SYS_close_range, 3u, ~0u, kCloseRangeCloexec) == 0) return;
#endif
  // Kernels before 5.11: every number up to the limit, one call each.
  rlimit limit{};
  const long last = getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                        ? static_cast<long>(limit.rlim_cur)
                        : 65536;
  for (int fd = 3; fd < last; ++fd) {
    const int flags = fcntl(fd, F_GETFD);
    if (flags >= 0 && !(flags & FD_CLOEXEC)) fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
  }
}


// Names from the system keep their bytes (PathFromSystem): a folder named in bytes that
// are no text in the locale must still be found again.
std::wstring OwnFileName() { return PathFromSystem(OwnFileNameNarrow()); }

std::wstring ProgramDirectory() {
  const char* home = std::getenv("ZENPO_HOME");
  if (home != nullptr && home[0] != '\0') {
    char* resolved = realpath(home, nullptr);
    std::string dir = resolved != nullptr ? resolved : home;
    free(resolved);
    if (dir[0] != '/') {
      char cwd[PATH_MAX];
      if (getcwd(cwd, sizeof(cwd)) != nullptr) dir = std::string(cwd) + "/" + dir;
    }
    return PathFromSystem(WithoutTrailingSlashes(dir));
  }
  std::string exe = OwnFileNameNarrow();
  const std::size_t slash = exe.rfind('/');
  const std::string exe_dir = slash == std::string::npos ? std::string() : exe.substr(0, slash);
  const std::string installed = InstalledProgramDirectory(exe_dir);
  return PathFromSystem(installed.empty() ? exe_dir : installed);
}

namespace {

constexpr char kRunningImage[] = "/proc/self/exe";

// The file to start the program again from. Normally its own file. A package upgrade
// replaces that file while the program runs (the old one is unlinked, and the system
// then names it "<path> (deleted)"): the file now at the path is started, so that the
// upgrade takes effect as with any other start, provided this user or root owns it and
// no one else may change it. Otherwise (removed, or not trustworthy) the running image
// itself is started again through /proc/self/exe, which still holds the old program.
std::string RestartFile(const std::string& own, const std::string& installed) {
  struct stat running, named;
  if (stat(kRunningImage, &running) != 0) return own;
  if (stat(own.c_str(), &named) == 0 && named.st_dev == running.st_dev &&
      named.st_ino == running.st_ino) {
    return own;
  }
  if (TrustToRun(PathFromSystem(installed)) == RunTrust::kTrusted &&
      stat(installed.c_str(), &named) == 0 && S_ISREG(named.st_mode) &&
      access(installed.c_str(), X_OK) == 0) {
    return installed;
  }
  return kRunningImage;
}

// The file to start the program from and the argument vector for a command line; false
// without it.
bool SelfCommand(std::wstring_view command_line, std::string* exe,
                 std::vector<std::string>* words) {
  const std::string own = OwnFileNameNarrow();
  if (own.empty()) return false;
  constexpr std::string_view kDeleted = " (deleted)";
  const std::string installed =
      own.ends_with(kDeleted) ? own.substr(0, own.size() - kDeleted.size()) : own;
  *exe = RestartFile(own, installed);
  words->assign(1, installed);
  std::istringstream in(ToCodePage(command_line));
  for (std::string w; in >> w;) words->push_back(w);
  return true;
}

}  // namespace

bool StartSelf(std::wstring_view command_line) {
  std::string exe;
  std::vector<std::string> words;
  if (!SelfCommand(command_line, &exe, &words)) return false;
  std::vector<char*> argv = ArgvPointers(words);
  // Whatever a library opened without the flag (a hung request's connection) stays here.
  CloseOnExecAboveStandardStreams();
  pid_t pid;
  return posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv.data(), environ) == 0;
}

bool ReplaceSelf(std::wstring_view command_line) {
  std::string exe;
  std::vector<std::string> words;
  if (!SelfCommand(command_line, &exe, &words)) return false;
  std::vector<char*> argv = ArgvPointers(words);
  std::fflush(nullptr);
  CloseOnExecAboveStandardStreams();
  execv(exe.c_str(), argv.data());
  return false;
}

const bool kExitStatusReportsAppendFailure = true;

std::vector<char*> ArgvPointers(const std::vector<std::string>& argv) {
  std::vector<char*> out;
  for (const std::string& arg : argv) out.push_back(const_cast<char*>(arg.c_str()));
  out.push_back(nullptr);
  return out;
}

std::string FindOnPath(const std::string& name) {
  auto executable = [](const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
  };
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos) return executable(name) ? name : std::string();
  std::string dirs;
  if (const char* path = std::getenv("PATH"); path != nullptr) {
    dirs = path;
  } else if (const std::size_t n = confstr(_CS_PATH, nullptr, 0); n > 0) {
    dirs.resize(n);
    confstr(_CS_PATH, dirs.data(), n);
    dirs.resize(n - 1);
  }
  if (dirs.empty()) return {};
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string candidate =
        (end == start ? std::string(".") : dirs.substr(start, end - start)) + "/" + name;
    if (executable(candidate)) return candidate;
    start = end + 1;
  }
  return {};
}

AllSignalsBlocked::AllSignalsBlocked() {
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &former_);
}

AllSignalsBlocked::~AllSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &former_, nullptr); }

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

bool StartDetached(const std::vector<std::string>& argv) {
  if (argv.empty()) return false;
  const std::vector<char*> args = ArgvPointers(argv);
  // The grandchild writes exec's errno here; a successful exec closes the pipe unwritten.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return false;
  const int null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null_fd < 0) {
    close(report[0]);
    close(report[1]);
    return false;
  }
  pid_t child;
  {
    AllSignalsBlocked blocked;
    child = fork();
    if (child == 0) {
      // Only async-signal-safe calls from here on.
      setsid();
      const pid_t grandchild = fork();
      if (grandchild > 0) _exit(0);
      if (grandchild == 0) {
        dup2(null_fd, STDIN_FILENO);
        dup2(null_fd, STDOUT_FILENO);
        dup2(null_fd, STDERR_FILENO);
        CloseOnExecAboveStandardStreams();  // the report pipe is close-on-exec already
        ResetSignalsInChild();
        UnblockAllInChild();
        execve(args[0], args.data(), environ);
      }
      // The exec, or the fork before it, failed.
      const int err = errno;
      (void)!write(report[1], &err, sizeof(err));
      _exit(127);
    }
  }
  close(null_fd);
  close(report[1]);
  if (child > 0) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  }
  int err = 0;
  ssize_t n;
  while ((n = read(report[0], &err, sizeof(err))) < 0 && errno == EINTR) {
  }
  close(report[0]);
  return child > 0 && n == 0;
}

}  // namespace zenpo::platform
