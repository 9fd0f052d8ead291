// mkdtemp for Windows (a name from _mktemp_s, which no file has yet, created with
// CreateDirectoryA), and setenv and unsetenv through the CRT's _putenv_s.
#include "win32/posix_shims.h"

#include <io.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>

extern "C" char* mkdtemp(char* name_template) {
  if (_mktemp_s(name_template, std::strlen(name_template) + 1) != 0) return nullptr;
  return CreateDirectoryA(name_template, nullptr) ? name_template : nullptr;
}

extern "C" int setenv(const char* name, const char* value, int overwrite) {
  if (!overwrite && std::getenv(name) != nullptr) return 0;
  return _putenv_s(name, value) == 0 ? 0 : -1;
}

// An empty value removes the variable.
extern "C" int unsetenv(const char* name) { return _putenv_s(name, "") == 0 ? 0 : -1; }
