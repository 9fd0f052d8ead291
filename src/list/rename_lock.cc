// The rename lock on the platform's rename that refuses to overwrite.
#include "list/rename_lock.h"

#include "config/program_paths.h"
#include "list/list_arrivals.h"
#include "platform/files.h"

namespace zenpo {

bool TakeListLock() {
  return platform::Files().Rename(ProgramPaths.ListPath, ProgramPaths.ListLockPath);
}

bool ReturnListLock() { return GiveListName(ProgramPaths.ListLockPath); }

}  // namespace zenpo
