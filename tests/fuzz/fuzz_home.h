// A program directory for the fuzz targets below $TMPDIR, which scripts/fuzz puts on a
// memory file system where flushes cost nothing; nothing is logged or shown.
#pragma once

#include <stdexcept>

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
  AppSettings.loglevel = AppSettings.msglevel = -1;
}

inline void Check(bool ok, const char* invariant) {
  if (!ok) throw std::logic_error(invariant);  // uncaught, it stops the fuzzer with its text
}

}  // namespace zenpo::fuzz

// Each target is a file of its own that checks the core's names.
using namespace zenpo;
using fuzz::Check;
