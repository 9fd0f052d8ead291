// The running program on Linux: /proc/self/exe, $ZENPO_HOME and posix_spawn.
#include "platform/process.h"

#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string_view>
#include <vector>

#include "platform/files.h"
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

std::vector<char*> Argv(std::vector<std::string>& words) {
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  return argv;
}

}  // namespace

bool StartSelf(std::wstring_view command_line) {
  std::string exe;
  std::vector<std::string> words;
  if (!SelfCommand(command_line, &exe, &words)) return false;
  std::vector<char*> argv = Argv(words);
  // Whatever a library opened without the flag (a hung request's connection) stays here.
  CloseOnExecAboveStandardStreams();
  pid_t pid;
  return posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv.data(), environ) == 0;
}

bool ReplaceSelf(std::wstring_view command_line) {
  std::string exe;
  std::vector<std::string> words;
  if (!SelfCommand(command_line, &exe, &words)) return false;
  std::vector<char*> argv = Argv(words);
  std::fflush(nullptr);
  CloseOnExecAboveStandardStreams();
  execv(exe.c_str(), argv.data());
  return false;
}

const bool kExitStatusReportsAppendFailure = true;

}  // namespace zenpo::platform
