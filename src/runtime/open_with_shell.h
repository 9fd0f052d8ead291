// OpenWithShell: the menu's open items and the hook files.
#pragma once

#include <string>

namespace zenpo {

// Waits 200 ms, then opens path with the shell (an executable is started, anything else
// goes to the desktop's opener). Returns 0 when the shell took the request, 1 otherwise;
// never reports, so a missing hook file is silent. Blocks the calling thread for the
// 200 ms; safe from any thread.
int OpenWithShell(const std::wstring& path);

}  // namespace zenpo
