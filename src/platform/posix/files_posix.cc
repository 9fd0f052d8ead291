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
#include <deque>

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

// The folder below which writes refuse other users' links; "" when none is.
std::string guarded_folder;

bool TrustedOwner(uid_t uid) { return uid == geteuid() || uid == 0; }

// Symbolic links followed on one walk at most, as the system's own limit for a lookup.
constexpr int kMaxLinksFollowed = 40;

// The result of a guarded walk: the descriptor opened at its end, or -1 with errno set;
// foreign_link names the link that stopped it, when one did.
struct Walk {
  int fd = -1;
  std::string foreign_link;
};

// Opens path with flags (probe: only finds where it leads, opening nothing) one name at
// a time from the guarded folder, following a symbolic link only when its owner is
// trusted. Each link is read through a descriptor of the link itself, so the owner
// checked is the owner of the link that is followed. The last name is opened with
// O_NOFOLLOW: a link put in its place meanwhile is looked at again, never followed.
Walk OpenBelowGuard(const std::string& path, int flags, mode_t mode, bool probe) {
  Walk walk;
  std::deque<std::string> names;
  for (std::size_t at = guarded_folder.size() + 1; at <= path.size();) {
    std::size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    if (end > at && path.compare(at, end - at, ".") != 0) names.push_back(path.substr(at, end - at));
    at = end + 1;
  }
  int dir = open(guarded_folder.empty() ? "/" : guarded_folder.c_str(),
                 O_PATH | O_DIRECTORY | O_CLOEXEC);
  std::string shown = guarded_folder;  // the way taken so far, for the report
  int links = 0;
  while (dir >= 0 && !names.empty()) {
    const std::string name = std::move(names.front());
    names.pop_front();
    const int at = openat(dir, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (at >= 0 && fstat(at, &st) == 0 && S_ISLNK(st.st_mode)) {
      shown += "/" + name;
      char target[PATH_MAX];
      const ssize_t n = TrustedOwner(st.st_uid) && ++links <= kMaxLinksFollowed
                            ? readlinkat(at, "", target, sizeof(target))
                            : -1;
      close(at);
      if (!TrustedOwner(st.st_uid)) {
        walk.foreign_link = shown;
        errno = EACCES;
        break;
      }
      if (n <= 0 || static_cast<std::size_t>(n) >= sizeof(target)) {
        if (links > kMaxLinksFollowed) errno = ELOOP;
        break;
      }
      const std::string to(target, static_cast<std::size_t>(n));
      std::deque<std::string> more;
      for (std::size_t from = 0; from <= to.size();) {
        std::size_t end = to.find('/', from);
        if (end == std::string::npos) end = to.size();
        if (end > from && to.compare(from, end - from, ".") != 0) more.push_back(to.substr(from, end - from));
        from = end + 1;
      }
      names.insert(names.begin(), more.begin(), more.end());
      if (to[0] == '/') {
        close(dir);
        dir = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
        shown.clear();
      }
      continue;
    }
    if (!names.empty()) {  // a folder on the way
      if (at >= 0) {
        shown += "/" + name;
        close(dir);
        dir = at;
        continue;
      }
      break;
    }
    if (at >= 0) close(at);
    if (probe) break;
    walk.fd = openat(dir, name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
    if (walk.fd < 0 && errno == ELOOP && ++links <= kMaxLinksFollowed) {
      names.push_back(name);  // a link came in meanwhile: look at it as such
      continue;
    }
    break;
  }
  const int saved = errno;
  if (dir >= 0) close(dir);
  errno = saved;
  return walk;
}

bool IsGuarded(const std::string& path) {
  return !guarded_folder.empty() && path.size() > guarded_folder.size() + 1 &&
         path.compare(0, guarded_folder.size(), guarded_folder) == 0 &&
         path[guarded_folder.size()] == '/';
}

// open() for a file the program writes, under the guard when path is below its folder.
int OpenForWriting(const std::string& path, int flags, mode_t mode) {
  int fd;
  do {
    fd = IsGuarded(path) ? OpenBelowGuard(path, flags, mode, false).fd
                         : open(path.c_str(), flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

}  // namespace

void GuardWritesBelow(const std::wstring& folder) {
  guarded_folder = NarrowPath(folder);
  while (guarded_folder.size() > 1 && guarded_folder.back() == '/') guarded_folder.pop_back();
}

std::wstring ForeignLinkOnPath(const std::wstring& path) {
  const std::string p = NarrowPath(path);
  if (!IsGuarded(p)) return L"";
  return PathFromSystem(OpenBelowGuard(p, 0, 0, true).foreign_link);
}

bool EmptyFile(const std::wstring& path) {
  const int fd = OpenForWriting(NarrowPath(path), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0) return false;
  close(fd);
  return true;
}

std::FILE* OpenForAppend(const std::wstring& path, bool owner_only) {
  const int fd =
      OpenForWriting(NarrowPath(path), O_WRONLY | O_APPEND | O_CREAT, owner_only ? 0600 : 0666);
  if (fd < 0) return nullptr;
  std::FILE* f = fdopen(fd, "a");
  if (f == nullptr) close(fd);
  return f;
}

RunTrust TrustToRun(const std::wstring& path) {
  std::string p = NarrowPath(path);
  struct stat st;
  for (int links = 0; lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode); ++links) {
    if (!TrustedOwner(st.st_uid)) return RunTrust::kUntrusted;
    char target[PATH_MAX];
    const ssize_t n = readlink(p.c_str(), target, sizeof(target));
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof(target) || links >= kMaxLinksFollowed) {
      return RunTrust::kMissing;
    }
    const std::string to(target, static_cast<std::size_t>(n));
    p = to[0] == '/' ? to : FolderOf(p) + "/" + to;
  }
  if (lstat(p.c_str(), &st) != 0) return RunTrust::kMissing;
  return TrustedOwner(st.st_uid) && (st.st_mode & 022) == 0 ? RunTrust::kTrusted
                                                            : RunTrust::kUntrusted;
}

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
  const std::string p = NarrowPath(path);
  if (!IsGuarded(p)) return mkdir(p.c_str(), 0777) == 0;
  // The folder that holds it, reached under the guard; mkdirat never follows a link in
  // the new name's place.
  const std::size_t slash = p.rfind('/');
  int dir = slash == guarded_folder.size()
                ? open(guarded_folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)
                : OpenBelowGuard(p.substr(0, slash), O_PATH | O_DIRECTORY, 0, false).fd;
  if (dir < 0) return false;
  const bool ok = mkdirat(dir, p.c_str() + slash + 1, 0777) == 0;
  close(dir);
  return ok;
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
  fd_ = OpenForWriting(NarrowPath(path), O_WRONLY | O_APPEND | O_CREAT, 0666);
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
  const int fd = OpenForWriting(NarrowPath(path), O_WRONLY, 0);
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
