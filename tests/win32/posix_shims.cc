// mkdtemp for Windows: a unique name from _mktemp_s, created with CreateDirectoryA.
#include "win32/posix_shims.h"

#include <io.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

extern "C" char* mkdtemp(char* name_template) {
  const std::size_t size = std::strlen(name_template) + 1;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name(name_template, size);
    if (_mktemp_s(name.data(), size) != 0) return nullptr;
    if (CreateDirectoryA(name.c_str(), nullptr)) {
      std::memcpy(name_template, name.c_str(), size);
      return name_template;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return nullptr;
  }
  return nullptr;
}
