// OpenWithShell: the menu's open items; RunHook: the hook files.
#pragma once

#include <string>

#include "report/result_codes.h"

namespace zenpo {

// Waits 200 ms, then opens path with the shell (an executable is started, anything else
// goes to the desktop's opener). Returns 0 when the shell took the request, 1 otherwise;
// never reports, so a missing hook file is silent. Blocks the calling thread for the
// 200 ms; safe from any thread.
int OpenWithShell(const std::wstring& path);

// Opens a hook file as OpenWithShell does, when it is one the user can vouch for: the
// file, and every link on the way to it, belongs to the user or to root, and no one else
// may change the file. Another hook is not run: that is logged (an outcome, not shown),
// since a hook that someone else controls would run with the user's rights. A missing
// hook stays silent. Returns 0, or 102 when the refusal could not be logged.
ResultCode RunHook(const std::wstring& path);

}  // namespace zenpo
