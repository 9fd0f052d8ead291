// A second user account, for tests of what another local user can do to zenpo. Free of
// GoogleTest, like the other process helpers.
#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <optional>

namespace zenpo::test {

struct OtherUser {
  uid_t uid;
  gid_t gid;
};

inline constexpr char kNoOtherUser[] =
    "needs a second user: run as root (the account zenpo-other is then made with useradd)";

// The account "zenpo-other", made with useradd when missing. Only root can act as another
// user, so without root there is none.
inline std::optional<OtherUser> OtherUserAccount() {
  if (geteuid() != 0) return std::nullopt;
  const passwd* pw = getpwnam("zenpo-other");
  if (pw == nullptr) {
    // Another test process may be making it at the same moment: look again either way.
    [[maybe_unused]] int ignored = std::system(
        "useradd --system --no-create-home --shell /usr/sbin/nologin zenpo-other >/dev/null 2>&1");
    pw = getpwnam("zenpo-other");
  }
  if (pw == nullptr) return std::nullopt;
  return OtherUser{pw->pw_uid, pw->pw_gid};
}

// Runs fn in a child process that has become user; fn's result. The child makes only
// system calls, as a child of a process with threads must.
inline bool RunAs(const OtherUser& user, const std::function<bool()>& fn) {
  const pid_t child = fork();
  if (child == 0) {
    const bool became = setgroups(0, nullptr) == 0 && setgid(user.gid) == 0 && setuid(user.uid) == 0;
    _exit(became && fn() ? 0 : 1);
  }
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

}  // namespace zenpo::test
