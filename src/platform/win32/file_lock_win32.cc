// FileWriteLock on Windows: LockFileEx on one byte far past any file's end, through a
// handle that shares reading, writing and deleting, so the program's own writes through
// other handles are never blocked. The system drops the lock with the handle, that is
// with the process.
#include <windows.h>

#include "platform/files.h"

namespace zenpo::platform {
namespace {

// The locked byte: beyond every real file, so no read or write ever meets it.
constexpr DWORD kLockOffsetLow = 0xFFFFFFFEu;
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFFu;

OVERLAPPED LockPlace() {
  OVERLAPPED place{};
  place.Offset = kLockOffsetLow;
  place.OffsetHigh = kLockOffsetHigh;
  return place;
}

}  // namespace

FileWriteLock::Result FileWriteLock::Acquire(const std::wstring& path) {
  Release(false);
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Result::kUnavailable;
  const bool created = GetLastError() != ERROR_ALREADY_EXISTS;
  OVERLAPPED place = LockPlace();
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &place)) {
    const DWORD error = GetLastError();
    CloseHandle(file);
    return error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING ? Result::kInUse
                                                                       : Result::kUnavailable;
  }
  path_ = path;
  handle_ = reinterpret_cast<std::intptr_t>(file);
  created_ = created;
  return Result::kLocked;
}

void FileWriteLock::Release(bool drop_new_empty) {
  if (handle_ == -1) return;
  const auto file = reinterpret_cast<HANDLE>(handle_);
  LARGE_INTEGER size;
  // Deleted while still held: the name goes when the last handle closes, and until then
  // no other process can open it.
  if (drop_new_empty && created_ && GetFileSizeEx(file, &size) && size.QuadPart == 0) {
    DeleteFileW(path_.c_str());
  }
  OVERLAPPED place = LockPlace();
  UnlockFileEx(file, 0, 1, 0, &place);
  CloseHandle(file);
  handle_ = -1;
  created_ = false;
  path_.clear();
}

}  // namespace zenpo::platform
