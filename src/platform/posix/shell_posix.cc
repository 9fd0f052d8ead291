// ShellOpen on POSIX: executables are started directly, other files go to xdg-open, both
// detached from this process.
#include "platform/shell.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/files.h"
#include "platform/posix/process_posix.h"
#include "platform/text.h"

namespace zenpo::platform {

bool ShellOpen(const std::wstring& path) {
  const std::string file = NarrowPath(path);
  struct stat st;
  if (file.empty() || stat(file.c_str(), &st) != 0) return false;
  if (S_ISREG(st.st_mode) && access(file.c_str(), X_OK) == 0) {
    // A relative name must not be looked up on $PATH.
    std::string program = file.find('/') == std::string::npos ? std::string("./") : std::string();
    program += file;
    return StartDetached({program});
  }
  const std::string opener = FindOnPath("xdg-open");
  if (opener.empty()) return false;
  return StartDetached({opener, file});
}

}  // namespace zenpo::platform
