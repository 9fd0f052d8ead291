// FileWriteLock on POSIX: flock on a descriptor of the file itself, which the kernel drops
// with the last descriptor, that is with the process.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files.h"

namespace zenpo::platform {
namespace {

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether fd still names the file at path: a holder that deleted the file before letting
// go leaves its waiters a descriptor of a file nobody sees any more.
bool StillNamed(int fd, const std::string& path) {
  struct stat open_file, named;
  return fstat(fd, &open_file) == 0 && stat(path.c_str(), &named) == 0 &&
         SameFile(open_file, named);
}

int OpenForLock(const std::string& path, bool* created) {
  for (;;) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0 || errno == EINTR) {
      if (fd >= 0) {
        *created = false;
        return fd;
      }
      continue;
    }
    if (errno != ENOENT) return -1;
    fd = open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      *created = true;
      return fd;
    }
    // Another process created it in between: open that one.
    if (errno != EEXIST && errno != EINTR) return -1;
  }
}

}  // namespace

FileWriteLock::Result FileWriteLock::Acquire(const std::wstring& path) {
  Release(false);
  // Never create or lock a file through another user's link below the download folder;
  // the guarded opens that follow refuse it and say so.
  if (!ForeignLinkOnPath(path).empty()) return Result::kUnavailable;
  const std::string narrow = NarrowPath(path);
  // A file deleted by its holder between our open and our lock is opened anew; after a
  // few such rounds the file counts as in use.
  for (int attempt = 0; attempt < 3; ++attempt) {
    bool created = false;
    const int fd = OpenForLock(narrow, &created);
    if (fd < 0) return Result::kUnavailable;
    int locked;
    do {
      locked = flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
      const bool busy = errno == EWOULDBLOCK;
      close(fd);
      return busy ? Result::kInUse : Result::kUnavailable;
    }
    if (StillNamed(fd, narrow)) {
      path_ = path;
      handle_ = fd;
      created_ = created;
      return Result::kLocked;
    }
    close(fd);
  }
  return Result::kInUse;
}

void FileWriteLock::Release(bool drop_new_empty) {
  if (handle_ < 0) return;
  const int fd = static_cast<int>(handle_);
  struct stat st;
  // Deleted while still held, so no other process can have locked the empty file.
  if (drop_new_empty && created_ && fstat(fd, &st) == 0 && st.st_size == 0 &&
      StillNamed(fd, NarrowPath(path_))) {
    unlink(NarrowPath(path_).c_str());
  }
  close(fd);
  handle_ = -1;
  created_ = false;
  path_.clear();
}

}  // namespace zenpo::platform
