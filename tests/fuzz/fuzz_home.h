// A program directory for a fuzz target: a fresh folder below $ZENPO_FUZZ_DIR (scripts/test
// puts that on a memory file system, where flushes cost nothing) or $TMPDIR, with
// ProgramPaths pointing into it, default settings and nothing logged or shown.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "config/program_paths.h"
#include "config/settings.h"
#include "platform/message_box.h"
#include "platform/text.h"

namespace zenpo::fuzz {

// Restores the defaults in the fuzz home, made at the first call.
inline void QuietDefaults() {
  static const bool made = [] {
    const char* base = std::getenv("ZENPO_FUZZ_DIR");
    if (base == nullptr) base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base != nullptr ? base : "/tmp") + "/zenpo-fuzz-XXXXXX";
    if (mkdtemp(tmpl.data()) == nullptr) std::abort();
    BuildProgramPaths(platform::PathFromSystem(tmpl));
    platform::SetMessageBoxHandler([](std::wstring_view) {});
    return true;
  }();
  (void)made;
  ResetSettings();
  AppSettings.loglevel = -1;
  AppSettings.msglevel = -1;
}

inline void WriteWhole(const std::string& path, const std::string& bytes) {
  if (!(std::ofstream(path, std::ios::binary) << bytes)) std::abort();
}

inline std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Stops the fuzzer with the broken invariant named.
inline void Check(bool ok, const char* invariant) {
  if (ok) return;
  std::fprintf(stderr, "invariant broken: %s\n", invariant);
  std::abort();
}

}  // namespace zenpo::fuzz
