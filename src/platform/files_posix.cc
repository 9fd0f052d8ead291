// File operations on POSIX: renameat2(RENAME_NOREPLACE) with link()+unlink() where the
// file system lacks it, utimensat-style times through futimens, fsync of files and
// folders.
#include "platform/files.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/text.h"

namespace zenpo::platform {
namespace {

constexpr int kRenameNoReplace = 1;  // RENAME_NOREPLACE of <linux/fs.h>

constexpr FileTime kUnixEpochAsFileTime = 116444736000000000ULL;

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool FlushFolderNarrow(const std::string& folder) {
  const int fd = open(folder.empty() ? "/" : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP;
  close(fd);
  return ok;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool ReadAll(const std::string& path, std::string* bytes) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buf[65536];
  ssize_t n;
  while ((n = read(fd, buf, sizeof(buf))) != 0) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    bytes->append(buf, static_cast<std::size_t>(n));
  }
  close(fd);
  return n == 0;
}

// Writes bytes into the file at path, flushed. With like, the file is created (or
// truncated) and given like's permission bits and, where allowed, its owner; without,
// an existing file is rewritten in place.
bool WriteFileFlushed(const std::string& path, const struct stat* like, const std::string& bytes) {
  const int flags = like != nullptr ? O_CREAT | O_TRUNC | O_NOFOLLOW : O_TRUNC;
  const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC | flags, 0600);
  if (fd < 0) return false;
  bool ok = true;
  if (like != nullptr) {
    [[maybe_unused]] int ignored = fchown(fd, like->st_uid, like->st_gid);
    ok = fchmod(fd, like->st_mode & 07777) == 0;
  }
  ok = ok && WriteAll(fd, bytes.data(), bytes.size()) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  return ok;
}

}  // namespace

const wchar_t kPathSeparator = L'/';
const std::size_t kMaxPathBytes = PATH_MAX - 1;
const std::size_t kMaxNameBytes = NAME_MAX;

std::string NarrowPath(const std::wstring& path) { return PathToSystem(path); }

bool IsAbsolutePath(const std::wstring& path) { return !path.empty() && path[0] == L'/'; }

// Every name but "." and ".." is an ordinary name here; the caller keeps those out.
void MakeOrdinaryName(std::wstring&) {}

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

std::FILE* OpenFile(const std::wstring& path, const char* mode) {
  return std::fopen(NarrowPath(path).c_str(), mode);
}

std::int64_t FileSize(const std::wstring& path) {
  struct stat st;
  if (stat(NarrowPath(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

bool ResizeFile(const std::wstring& path, std::int64_t size) {
  return truncate(NarrowPath(path).c_str(), static_cast<off_t>(size)) == 0;
}

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

bool AppendDescriptor::Open(const std::wstring& path) {
  Close();
  const std::string path_mb = NarrowPath(path);
  do {
    fd_ = open(path_mb.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  } while (fd_ < 0 && errno == EINTR);
  return fd_ >= 0;
}

bool AppendDescriptor::Write(const void* data, std::size_t size) {
  return fd_ >= 0 && WriteAll(fd_, static_cast<const char*>(data), size);
}

std::int64_t AppendDescriptor::Size() const {
  struct stat st;
  if (fd_ < 0 || fstat(fd_, &st) != 0) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

void AppendDescriptor::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
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

bool FlushFile(std::FILE* stream) {
  return std::fflush(stream) == 0 && fsync(fileno(stream)) == 0;
}

bool FlushFolder(const std::wstring& folder) { return FlushFolderNarrow(NarrowPath(folder)); }

bool CopyPermissions(std::FILE* from, std::FILE* to) {
  struct stat st;
  if (fstat(fileno(from), &st) != 0) return false;
  // Only a privileged process may give a file away; the group alone may still be ours.
  if (fchown(fileno(to), st.st_uid, st.st_gid) != 0) {
    [[maybe_unused]] int ignored = fchown(fileno(to), static_cast<uid_t>(-1), st.st_gid);
  }
  if (fchmod(fileno(to), st.st_mode & 07777) == 0) return true;
  // A file system that keeps no modes of its own gives both files the same.
  struct stat now;
  return fstat(fileno(to), &now) == 0 && (now.st_mode & 07777) == (st.st_mode & 07777);
}

std::wstring LinkTarget(const std::wstring& path) {
  const std::string p = NarrowPath(path);
  struct stat st;
  if (lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return L"";
  char* resolved = realpath(p.c_str(), nullptr);
  if (resolved == nullptr) return L"";
  std::wstring target = PathFromSystem(resolved);
  free(resolved);
  return target;
}

bool ReplaceFileContent(const std::wstring& from, const std::wstring& target) {
  const std::string f = NarrowPath(from), t = NarrowPath(target);
  const std::string folder = FolderOf(t);
  if (rename(f.c_str(), t.c_str()) == 0) return FlushFolderNarrow(folder);
  // Another file system: a copy beside the target takes its place in one rename.
  std::string bytes;
  struct stat st;
  if (!ReadAll(f, &bytes) || stat(f.c_str(), &st) != 0) return false;
  const std::string copy = folder + "/!!" + t.substr(t.rfind('/') + 1);
  if (WriteFileFlushed(copy, &st, bytes)) {
    if (rename(copy.c_str(), t.c_str()) == 0) {
      FlushFolderNarrow(folder);
      unlink(f.c_str());
      return true;
    }
    unlink(copy.c_str());
  }
  // The folder takes no new name: the target itself is rewritten.
  if (!WriteFileFlushed(t, nullptr, bytes)) return false;
  unlink(f.c_str());
  return true;
}

}  // namespace zenpo::platform
