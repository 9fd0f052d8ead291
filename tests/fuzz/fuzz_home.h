// A program directory for a fuzz target: a fresh folder below $ZENPO_FUZZ_DIR (scripts/test
// puts that on a memory file system, where flushes cost nothing) or $TMPDIR, with
// ProgramPaths pointing into it, default settings and nothing logged or shown.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "config/program_paths.h"
#include "config/settings.h"
#include "platform/message_box.h"
#include "platform/text.h"

namespace zenpo::fuzz {

inline const std::string& FuzzHome() {
  static const std::string home = [] {
    const char* base = std::getenv("ZENPO_FUZZ_DIR");
    if (base == nullptr) base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base != nullptr ? base : "/tmp") + "/zenpo-fuzz-XXXXXX";
    if (mkdtemp(tmpl.data()) == nullptr) std::abort();
    BuildProgramPaths(platform::PathFromSystem(tmpl));
    platform::SetMessageBoxHandler([](std::wstring_view) {});
    return tmpl;
  }();
  return home;
}

// Restores the defaults; nothing is logged or shown.
inline void QuietDefaults() {
  FuzzHome();
  ResetSettings();
  AppSettings.loglevel = -1;
  AppSettings.msglevel = -1;
}

inline void WriteWhole(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
}

inline std::string ReadWhole(const std::string& path) {
  std::string bytes;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) bytes.append(buf, n);
    std::fclose(f);
  }
  return bytes;
}

// Stops the fuzzer with the broken invariant named.
inline void Check(bool ok, const char* invariant) {
  if (!ok) {
    std::fprintf(stderr, "invariant broken: %s\n", invariant);
    std::abort();
  }
}

}  // namespace zenpo::fuzz
