// File system operations the core needs beyond narrow streams (std::fopen): the list's
// rename lock, deleting, creating directories and the last-write time of a file.
// Paths are wide; the back end converts them to the system's path form.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/clock.h"

namespace zenpo::platform {

// The separator that joins path pieces ("/" on POSIX, "\" on Windows).
extern const wchar_t kPathSeparator;

// Renames from to to. Never replaces an existing file: fails when to exists or from does
// not. Atomic between threads and processes on one file system.
bool RenameNoReplace(const std::wstring& from, const std::wstring& to);

bool RemoveFile(const std::wstring& path);

// Creates one directory; fails when it exists already or its parent is missing.
bool MakeDirectory(const std::wstring& path);

// The last-write time of an existing file; false when it cannot be read.
bool ReadLastWriteTime(const std::wstring& path, FileTime* time);

enum class SetTimeResult { kOk, kOpenFailed, kSetFailed };

// Sets the last-write time of an existing file (never creates one). kOpenFailed when the
// file cannot be opened for writing, kSetFailed when the time cannot be set.
SetTimeResult WriteLastWriteTime(const std::wstring& path, FileTime time);

// The size in bytes of the file that an open stream reads or writes, as the file system
// has it now (64-bit); false when it cannot be read.
bool OpenFileSize(std::FILE* stream, std::int64_t* size);

// The path as the narrow stream functions take it.
std::string NarrowPath(const std::wstring& path);

}  // namespace zenpo::platform
