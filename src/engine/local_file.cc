// LocalFileSize, LocalFileTime and EmptyLocalFile.
#include "engine/local_file.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/files.h"
#include "platform/text.h"

namespace zenpo {

std::int64_t LocalFileSize(const std::string& path_mb) {
  // Fails for anything but a regular file.
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path_mb, ec);
  return ec ? 0 : static_cast<std::int64_t>(size);
}

platform::FileTime LocalFileTime(const std::string& path_mb) {
  platform::FileTime time = 0;
  if (!platform::ReadLastWriteTime(platform::PathFromSystem(path_mb), &time)) {
    return 0;
  }
  return time;
}

bool EmptyLocalFile(const std::string& path_mb) { return platform::EmptyFile(path_mb); }

}  // namespace zenpo
