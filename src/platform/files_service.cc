// The replaceable file service and its default, which forwards to the back end.
#include <atomic>

#include "platform/files.h"

namespace zenpo::platform {
namespace {

FileService default_service;
std::atomic<FileService*> current{&default_service};

}  // namespace

bool FileService::Write(std::FILE* stream, std::string_view bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
}
bool FileService::Flush(std::FILE* stream) { return FlushFile(stream); }
bool FileService::Rename(const std::wstring& from, const std::wstring& to) {
  return RenameNoReplace(from, to);
}
bool FileService::FlushFolder(const std::wstring& folder) {
  return platform::FlushFolder(folder);
}
bool FileService::Remove(const std::wstring& path) { return RemoveFile(path); }
bool FileService::ReplaceContent(const std::wstring& from, const std::wstring& target) {
  return ReplaceFileContent(from, target);
}

FileService& Files() { return *current.load(); }

void SetFileService(FileService* service) {
  current.store(service != nullptr ? service : &default_service);
}

}  // namespace zenpo::platform
