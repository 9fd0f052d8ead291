// The shell's "Open" verb: starts a program or opens a document with its handler.
#pragma once

#include <string>

namespace zenpo::platform {

// Opens path as the shell would, without any error interface: an executable file is
// started, anything else is handed to the desktop's opener. The started program runs
// detached from this process (its own session, no inherited handles, no terminal).
// False when path does not exist or nothing could be started. Safe from any thread.
bool ShellOpen(const std::wstring& path);

}  // namespace zenpo::platform
