// LocalFileSize and LocalFileTime over the file service.
#include "engine/local_file.h"

#include "platform/files.h"

namespace zenpo {

std::int64_t LocalFileSize(const std::wstring& path) {
  const std::int64_t size = platform::FileSize(path);
  return size < 0 ? 0 : size;
}

platform::FileTime LocalFileTime(const std::wstring& path) {
  platform::FileTime time = 0;
  if (!platform::ReadLastWriteTime(path, &time)) return 0;
  return time;
}

}  // namespace zenpo
