// The rename lock on the platform's rename that refuses to overwrite.
#include "list/rename_lock.h"

#include "config/program_paths.h"
#include "platform/files.h"

namespace zenpo {

bool TakeListLock() {
  return platform::Files().Rename(ProgramPaths.ListPath, ProgramPaths.ListLockPath);
}

bool ReturnListLock() {
  return platform::Files().Rename(ProgramPaths.ListLockPath, ProgramPaths.ListPath);
}

}  // namespace zenpo
