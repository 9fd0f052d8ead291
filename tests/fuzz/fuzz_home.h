// A program directory for a fuzz target: a TempDir below $TMPDIR (scripts/fuzz puts that on
// a memory file system, where flushes cost nothing), with ProgramPaths pointing into it,
// default settings and nothing logged or shown.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "config/program_paths.h"
#include "config/settings.h"
#include "platform/message_box.h"
#include "support/temp_dir.h"

namespace zenpo::fuzz {

// Restores the defaults in the fuzz home, made at the first call.
inline void QuietDefaults() {
  static const test::TempDir home;
  if (ProgramPaths.ListPath.empty()) {
    BuildProgramPaths(home.wpath());
    platform::SetMessageBoxHandler([](std::wstring_view) {});
  }
  ResetSettings();
  AppSettings.loglevel = -1;
  AppSettings.msglevel = -1;
}

// Stops the fuzzer with the broken invariant named.
inline void Check(bool ok, const char* invariant) {
  if (ok) return;
  std::fprintf(stderr, "invariant broken: %s\n", invariant);
  std::abort();
}

}  // namespace zenpo::fuzz
