// File operations on POSIX: renameat2(RENAME_NOREPLACE) with link()+unlink() where the
// file system lacks it, utimensat-style times through futimens.
#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/text.h"

namespace zenpo::platform {
namespace {

constexpr int kRenameNoReplace = 1;  // RENAME_NOREPLACE of <linux/fs.h>

constexpr FileTime kUnixEpochAsFileTime = 116444736000000000ULL;

}  // namespace

const wchar_t kPathSeparator = L'/';

std::string NarrowPath(const std::wstring& path) { return ToCodePage(path); }

bool RenameNoReplace(const std::wstring& from, const std::wstring& to) {
  const std::string f = NarrowPath(from), t = NarrowPath(to);
#ifdef SYS_renameat2
  if (syscall(SYS_renameat2, AT_FDCWD, f.c_str(), AT_FDCWD, t.c_str(), kRenameNoReplace) == 0) {
    return true;
  }
  if (errno != ENOSYS && errno != EINVAL) return false;
#endif
  // link() refuses an existing target just as RENAME_NOREPLACE does.
  if (link(f.c_str(), t.c_str()) != 0) return false;
  if (unlink(f.c_str()) != 0) {
    unlink(t.c_str());
    return false;
  }
  return true;
}

bool RemoveFile(const std::wstring& path) { return unlink(NarrowPath(path).c_str()) == 0; }

bool MakeDirectory(const std::wstring& path) {
  return mkdir(NarrowPath(path).c_str(), 0777) == 0;
}

bool ReadLastWriteTime(const std::wstring& path, FileTime* time) {
  struct stat st;
  if (stat(NarrowPath(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  *time = kUnixEpochAsFileTime + static_cast<FileTime>(st.st_mtim.tv_sec) * 10000000ULL +
          static_cast<FileTime>(st.st_mtim.tv_nsec) / 100;
  return true;
}

bool OpenFileSize(std::FILE* stream, std::int64_t* size) {
  struct stat st;
  if (stream == nullptr || fstat(fileno(stream), &st) != 0) return false;
  *size = static_cast<std::int64_t>(st.st_size);
  return true;
}

SetTimeResult WriteLastWriteTime(const std::wstring& path, FileTime time) {
  int fd = open(NarrowPath(path).c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return SetTimeResult::kOpenFailed;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // the last-access time stays
  const long long since_epoch = static_cast<long long>(time - kUnixEpochAsFileTime);
  times[1].tv_sec = static_cast<time_t>(since_epoch / 10000000LL);
  times[1].tv_nsec = static_cast<long>((since_epoch % 10000000LL) * 100);
  if (times[1].tv_nsec < 0) {
    times[1].tv_nsec += 1000000000L;
    times[1].tv_sec -= 1;
  }
  const bool ok = futimens(fd, times) == 0;
  close(fd);
  return ok ? SetTimeResult::kOk : SetTimeResult::kSetFailed;
}

}  // namespace zenpo::platform
