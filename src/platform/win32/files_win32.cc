// File operations on Windows: wide-character calls; MoveFileW never replaces a file;
// FlushFileBuffers puts a file on the disk.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/text.h"

namespace zenpo::platform {
namespace {

// Whether name, up to its first dot and without the spaces before it, is a device's.
bool IsDeviceName(std::wstring_view name) {
  name = name.substr(0, name.find(L'.'));
  while (!name.empty() && name.back() == L' ') name.remove_suffix(1);
  std::wstring upper(name);
  for (wchar_t& c : upper) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  static constexpr std::wstring_view kPlain[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  for (std::wstring_view device : kPlain) {
    if (upper == device) return true;
  }
  // COM and LPT with one digit; the superscript digits one, two and three count too.
  if (upper.size() != 4 || (upper.compare(0, 3, L"COM") != 0 && upper.compare(0, 3, L"LPT") != 0)) {
    return false;
  }
  const wchar_t digit = upper[3];
  return (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
}

FileTime FromFiletime(const FILETIME& ft) {
  return (static_cast<FileTime>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

// The most bytes one character takes in the ANSI code page (2 in code page 932).
std::size_t MaxCharBytes() {
  CPINFO info;
  return GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 0 ? info.MaxCharSize : 1;
}

}  // namespace

const wchar_t kPathSeparator = L'\\';
// Windows counts its limits in UTF-16 units: MAX_PATH - 1 for a path, 255 for one name.
// In bytes of the narrow form that is at most the same count of the code page's longest
// characters, so no path that Windows accepts is refused; one that is still too long
// fails to open, as any unopenable path does.
const std::size_t kMaxPathBytes = (MAX_PATH - 1) * MaxCharBytes();
const std::size_t kMaxNameBytes = 255 * MaxCharBytes();

std::string NarrowPath(const std::wstring& path) { return PathToSystem(path); }

void MakeOrdinaryName(std::wstring& name) {
  if (IsDeviceName(name)) name.insert(name.begin(), L'#');
  for (auto c = name.rbegin(); c != name.rend() && (*c == L'.' || *c == L' '); ++c) *c = L'#';
}

// "C:\dl" and "C:dl" name a drive; "\dl" (the current drive's root) and "\\server\share"
// start with a separator.
bool IsAbsolutePath(const std::wstring& path) {
  if (!path.empty() && (path[0] == L'\\' || path[0] == L'/')) return true;
  return path.size() >= 2 && path[1] == L':' &&
         ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
}

// The guard against other users' links is the POSIX build's: Windows reparse points
// need privileges to make, and its folders' access lists keep other users out.
void GuardWritesBelow(const std::wstring&) {}
std::wstring ForeignLinkOnPath(const std::wstring&) { return L""; }

bool EmptyFile(const std::wstring& path) {
  std::FILE* f = OpenFile(path, "wb");
  if (f == nullptr) return false;
  std::fclose(f);
  return true;
}

// The file's access list comes from its folder.
std::FILE* OpenForAppend(const std::wstring& path, bool) { return OpenFile(path, "a"); }

RunTrust TrustToRun(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES ? RunTrust::kMissing
                                                                     : RunTrust::kTrusted;
}

bool RenameNoReplace(const std::wstring& from, const std::wstring& to) {
  return MoveFileW(from.c_str(), to.c_str()) != 0;
}

bool RemoveFile(const std::wstring& path) { return DeleteFileW(path.c_str()) != 0; }

std::FILE* OpenFile(const std::wstring& path, const char* mode) {
  const std::wstring wide_mode(mode, mode + std::char_traits<char>::length(mode));
  return _wfopen(path.c_str(), wide_mode.c_str());
}

std::int64_t FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  if ((data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) return -1;
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                   data.nFileSizeLow);
}

bool ResizeFile(const std::wstring& path, std::int64_t size) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER at;
  at.QuadPart = size;
  const bool ok = SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != 0 && SetEndOfFile(file) != 0;
  CloseHandle(file);
  return ok;
}

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

bool AppendDescriptor::Open(const std::wstring& path) {
  Close();
  fd_ = _wopen(path.c_str(), _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY | _O_NOINHERIT,
               _S_IREAD | _S_IWRITE);
  return fd_ >= 0;
}

bool AppendDescriptor::Write(const void* data, std::size_t size) {
  if (fd_ < 0) return false;
  const char* at = static_cast<const char*>(data);
  while (size > 0) {
    // _write takes at most INT_MAX bytes a call.
    const unsigned int part = static_cast<unsigned int>(std::min<std::size_t>(size, 1u << 30));
    const int n = _write(fd_, at, part);
    if (n <= 0) return false;
    at += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

std::int64_t AppendDescriptor::Size() const {
  if (fd_ < 0) return -1;
  const auto file = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
  LARGE_INTEGER bytes;
  if (file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &bytes)) return -1;
  return bytes.QuadPart;
}

void AppendDescriptor::Close() {
  if (fd_ >= 0) _close(fd_);
  fd_ = -1;
}

bool FlushFile(std::FILE* stream) {
  if (std::fflush(stream) != 0) return false;
  const auto file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  return file != INVALID_HANDLE_VALUE && FlushFileBuffers(file) != 0;
}

// NTFS journals its metadata, so a rename or delete is on the disk as a whole or not at
// all; Windows offers no flush of a folder's entries, and none is needed.
bool FlushFolder(const std::wstring& folder) { return true; }

// A file's access rights on Windows come from its folder's inherited ACL, which the new
// list gets by being created beside the old one. Its attributes are not copied: a
// read-only list could neither be appended to nor its old copy deleted.
bool CopyPermissions(std::FILE* from, std::FILE* to) { return true; }

// A list is never taken as a link on Windows: symbolic links need a privilege that a
// user rarely has, and a shortcut (.lnk) is a file of its own.
std::wstring LinkTarget(const std::wstring& path) { return L""; }

bool ReplaceFileContent(const std::wstring& from, const std::wstring& target) {
  // Write-through: the move (or, across volumes, the copy) is on the disk on return.
  return MoveFileExW(from.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace zenpo::platform
