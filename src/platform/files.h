// Every file system operation of the core: opening streams, sizes, the list's rename
// lock, deleting, creating directories, the last-write time of a file, and flushing to
// the disk. Paths are wide and go to the system unchanged: Windows gets them through its
// wide-character calls, POSIX as the bytes the system named them with (NarrowPath).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace zenpo::platform {

// The separator that joins path pieces ("/" on POSIX, "\" on Windows).
extern const wchar_t kPathSeparator;

// Whether path names its place without a starting folder ("/dl"; "C:\dl" on Windows).
bool IsAbsolutePath(const std::wstring& path);

// Makes name (one file or directory name) one that the system stores as it is and opens
// as a plain file. On Windows, a name that the system keeps for a device (CON, PRN, AUX,
// NUL, COM0-COM9, LPT0-LPT9, CONIN$, CONOUT$; in any case, with any extension, spaces
// before the extension ignored) gets "#" in front, and each trailing dot or space, which
// Windows would drop, becomes "#". Elsewhere the name stays. Applying it twice changes
// nothing more.
void MakeOrdinaryName(std::wstring& name);

// The system's own limits in bytes of the narrow form: of a whole path and of one name
// in it (the terminator not counted).
extern const std::size_t kMaxPathBytes;
extern const std::size_t kMaxNameBytes;

// Renames from to to. Never replaces an existing file: fails when to exists or from does
// not. Atomic between threads and processes on one file system.
bool RenameNoReplace(const std::wstring& from, const std::wstring& to);

bool RemoveFile(const std::wstring& path);

// Opens a stream on the file at path; mode as std::fopen takes it. nullptr on failure.
std::FILE* OpenFile(const std::wstring& path, const char* mode);

// The size of the regular file at path (64-bit); -1 for anything else (an absent file, a
// directory, a path that cannot be read).
std::int64_t FileSize(const std::wstring& path);

// Cuts (or extends with zero bytes) the existing file at path to size bytes.
bool ResizeFile(const std::wstring& path, std::int64_t size);

// Creates one directory; fails when it exists already or its parent is missing.
bool MakeDirectory(const std::wstring& path);

// The last-write time of an existing file; false when it cannot be read.
bool ReadLastWriteTime(const std::wstring& path, FileTime* time);

enum class SetTimeResult { kOk, kOpenFailed, kSetFailed };

// Sets the last-write time of an existing file (never creates one). kOpenFailed when the
// file cannot be opened for writing, kSetFailed when the time cannot be set.
SetTimeResult WriteLastWriteTime(const std::wstring& path, FileTime time);

// A file opened for appending through a descriptor of the system, with no buffer in
// between: each block goes to the file in one system call (more only when the system
// takes part of it), so the file holds every block written the moment Write returns.
// Used by one thread at a time.
class AppendDescriptor {
 public:
  AppendDescriptor() = default;
  AppendDescriptor(const AppendDescriptor&) = delete;
  AppendDescriptor& operator=(const AppendDescriptor&) = delete;
  ~AppendDescriptor() { Close(); }

  // Opens (creating when absent) the file at path; false when it cannot be opened for
  // writing (or a guarded write refuses it). Child processes do not inherit the descriptor.
  bool Open(const std::wstring& path);
  bool is_open() const { return fd_ >= 0; }
  // Writes the whole block; false when any of it could not be written (a full disk).
  bool Write(const void* data, std::size_t size);
  // The size of the file as the file system has it now (64-bit); -1 when it cannot be
  // read or nothing is open.
  std::int64_t Size() const;
  void Close();

 private:
  int fd_ = -1;
};

// Writes below the download folder: there, someone else may be able to plant links. Once
// a folder is guarded, every write below it that this service makes (MakeDirectory,
// EmptyFile, AppendDescriptor::Open, OpenForAppend, WriteLastWriteTime) passes a
// symbolic link, on the way or as the file's own name, only when this user or root owns
// it; another user's link makes the operation fail as if the file could not be opened.
// Set at start-up, before other threads run; "" guards nothing.
void GuardWritesBelow(const std::wstring& folder);

// The first link on the way to path that a guarded write refuses, as a path; "" when
// there is none (or path is not below the guarded folder). For the report of a refusal.
std::wstring ForeignLinkOnPath(const std::wstring& path);

// Empties the file at path, creating it when absent. False when it cannot be opened for
// writing.
bool EmptyFile(const std::wstring& path);

// Opens the file at path as a text stream for appending, creating it when absent with
// the permissions the user's umask allows, or for the owner alone with owner_only. Null
// when it cannot be opened.
std::FILE* OpenForAppend(const std::wstring& path, bool owner_only);

// Whether the file at path may be run for this user. kUntrusted unless the file, and
// each symbolic link on the way when path is one, belongs to this user or to root, and
// the file gives no write permission to group or others.
enum class RunTrust { kMissing, kTrusted, kUntrusted };
RunTrust TrustToRun(const std::wstring& path);

// Keeps every other process of the program from writing a local file while this one
// transfers into it. The lock belongs to the open file, so the system drops it when the
// process ends in any way (kill -9 included): no crash leaves a file blocked. It binds
// only processes that take it too; this process's own writes go through other handles
// unhindered. Used by one thread at a time.
class FileWriteLock {
 public:
  enum class Result {
    kLocked,       // this process holds the file now
    kInUse,        // another process holds it; try again later
    kUnavailable,  // the file cannot be opened (a missing folder, no permission)
  };
  FileWriteLock() = default;
  FileWriteLock(const FileWriteLock&) = delete;
  FileWriteLock& operator=(const FileWriteLock&) = delete;
  ~FileWriteLock() { Release(false); }

  // Takes the lock on the file at path without waiting, creating the file when absent.
  Result Acquire(const std::wstring& path);
  // Gives the lock up. With drop_new_empty, a file that Acquire created and that is still
  // empty is deleted first, so an attempt that wrote nothing leaves no file behind.
  void Release(bool drop_new_empty);

 private:
  std::wstring path_;
  std::intptr_t handle_ = -1;
  bool created_ = false;
};

// The path in the system's narrow form, for measuring it against kMaxPathBytes and
// kMaxNameBytes and for the POSIX calls. A path made from the system's own bytes
// (PathFromSystem) gets exactly those bytes back. Never for a file call on Windows, where
// a narrow path reaches the system through the ANSI code page in one library and as UTF-8
// in another.
std::string NarrowPath(const std::wstring& path);

// Forces what was written to the stream onto the disk: the stream's buffer, then the
// file's data. False when either fails.
bool FlushFile(std::FILE* stream);

// Forces a folder's entries (names created, renamed or deleted in it) onto the disk.
// "" names the root. A file system that cannot flush folders counts as done.
bool FlushFolder(const std::wstring& folder);

// Gives the file written through to the permission bits of the file read through from,
// and its owner where the process may set it. False when the bits differ and could not
// be set.
bool CopyPermissions(std::FILE* from, std::FILE* to);

// The file that the symbolic link path finally names, as an absolute path; "" when path
// is no link (or its target cannot be resolved).
std::wstring LinkTarget(const std::wstring& path);

// Gives target the content of the file from, which is gone afterwards. Atomic where the
// target's folder allows it: from is renamed over target, or, on another file system, a
// copy written beside target is. Where target's folder cannot take a new name, target is
// rewritten in place. Everything is flushed to the disk before it returns. False, with
// target unchanged as far as the system allows, when it fails.
bool ReplaceFileContent(const std::wstring& from, const std::wstring& target);

// The operations by which the list is rewritten and extended, as one service that tests
// replace to see their order or to make one fail. Files() is the one in use; by default
// it forwards to the functions above and std::fwrite.
class FileService {
 public:
  virtual ~FileService() = default;
  virtual bool Write(std::FILE* stream, std::string_view bytes);
  virtual bool Flush(std::FILE* stream);
  virtual bool Rename(const std::wstring& from, const std::wstring& to);  // never replaces
  virtual bool FlushFolder(const std::wstring& folder);
  virtual bool Remove(const std::wstring& path);
  virtual bool ReplaceContent(const std::wstring& from, const std::wstring& target);
};

FileService& Files();

// Puts service (not owned; nullptr restores the default) in place. For tests, while no
// other thread uses the files.
void SetFileService(FileService* service);

}  // namespace zenpo::platform
