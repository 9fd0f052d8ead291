// The local file of a download: its size, its time, and the stream that appends the
// body to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/clock.h"

namespace zenpo {

// The size in bytes of the regular file at the narrow path; 0 when there is none (an
// absent file, a directory, an unreadable path). 64-bit, so files of 2 GiB and more count.
std::int64_t LocalFileSize(const std::string& path_mb);

// The last-write time of the file at the narrow path; 0 when it cannot be read.
platform::FileTime LocalFileTime(const std::string& path_mb);

// Empties the file at the narrow path, creating it when absent. False when it cannot be
// opened for writing.
bool EmptyLocalFile(const std::string& path_mb);

// Appends blocks to a file with no buffering of its own: when Write returns, the bytes
// are in the file, so whoever measures the file sees every byte written so far.
// Used by one thread.
class AppendFile {
 public:
  AppendFile() = default;
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;
  ~AppendFile() { Close(); }

  // Opens (creating when absent) the file at the narrow path for appending.
  bool Open(const std::string& path_mb);
  bool is_open() const { return file_ != nullptr; }
  // Writes the whole block; false when any of it could not be written (a full disk).
  bool Write(const void* data, std::size_t size);
  // The size of the file as the file system has it now (measured, not counted); -1 when
  // it cannot be read or no file is open.
  std::int64_t Size() const;
  void Close();

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace zenpo
