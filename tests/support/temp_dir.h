// A fresh directory for one test, removed with everything in it afterwards, and
// whole-file helpers (ReadFile gives "" for a missing file).
#pragma once

#include <filesystem>
#include <string>

namespace zenpo::test {

class TempDir {
 public:
  TempDir();
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::wstring wpath() const { return path_.wstring(); }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

}  // namespace zenpo::test
