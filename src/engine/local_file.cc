// LocalFileSize, LocalFileTime and the append stream.
#include "engine/local_file.h"

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

bool EmptyLocalFile(const std::string& path_mb) {
  std::FILE* f = std::fopen(path_mb.c_str(), "wb");
  if (f == nullptr) return false;
  std::fclose(f);
  return true;
}

bool AppendFile::Open(const std::string& path_mb) {
  Close();
  file_ = std::fopen(path_mb.c_str(), "ab");
  if (file_ == nullptr) return false;
  std::setvbuf(file_, nullptr, _IONBF, 0);
  return true;
}

bool AppendFile::Write(const void* data, std::size_t size) {
  if (file_ == nullptr) return false;
  if (size == 0) return true;
  return std::fwrite(data, 1, size, file_) == size;
}

std::int64_t AppendFile::Size() const {
  std::int64_t size = -1;
  return platform::OpenFileSize(file_, &size) ? size : -1;
}

void AppendFile::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

}  // namespace zenpo
