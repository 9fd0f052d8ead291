// File operations on Windows: wide-character calls; MoveFileW never replaces a file.
#include <windows.h>
#include <io.h>

#include <cstdio>

#include "platform/files.h"
#include "platform/text.h"

namespace zenpo::platform {
namespace {

FileTime FromFiletime(const FILETIME& ft) {
  return (static_cast<FileTime>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

}  // namespace

const wchar_t kPathSeparator = L'\\';

std::string NarrowPath(const std::wstring& path) { return ToCodePage(path); }

bool RenameNoReplace(const std::wstring& from, const std::wstring& to) {
  return MoveFileW(from.c_str(), to.c_str()) != 0;
}

bool RemoveFile(const std::wstring& path) { return DeleteFileW(path.c_str()) != 0; }

bool MakeDirectory(const std::wstring& path) {
  return CreateDirectoryW(path.c_str(), nullptr) != 0;
}

bool ReadLastWriteTime(const std::wstring& path, FileTime* time) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  *time = FromFiletime(data.ftLastWriteTime);
  return true;
}

SetTimeResult WriteLastWriteTime(const std::wstring& path, FileTime time) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return SetTimeResult::kOpenFailed;
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(time & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(time >> 32);
  const bool ok = SetFileTime(file, nullptr, nullptr, &ft) != 0;
  CloseHandle(file);
  return ok ? SetTimeResult::kOk : SetTimeResult::kSetFailed;
}

bool OpenFileSize(std::FILE* stream, std::int64_t* size) {
  if (stream == nullptr) return false;
  const auto file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  LARGE_INTEGER bytes;
  if (file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &bytes)) return false;
  *size = bytes.QuadPart;
  return true;
}

}  // namespace zenpo::platform
