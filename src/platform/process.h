// The running program: its own file, its directory, and starting it again.
#pragma once

#include <string>
#include <string_view>

namespace zenpo::platform {

// Whether a program that ends because a copied URL could not be queued reports that
// failure's code as its exit status rather than the download cycle's last result. True
// on POSIX, where a service manager must not count that end as an ordinary stop; false
// on Windows, whose exit code stays the last result.
extern const bool kExitStatusReportsAppendFailure;

// The full file name of the running program.
std::wstring OwnFileName();

// The directory that holds the program's files. On POSIX: $ZENPO_HOME when set;
// otherwise, for an installed program, ${XDG_DATA_HOME:-~/.local/share}/zenpo (created
// when missing); otherwise the directory of the program's file. On Windows always the
// directory of the program's file. Absolute, without a trailing separator ("" for the
// root directory).
std::wstring ProgramDirectory();

// Starts a new process of the program's own file with the command line (its words are
// the arguments), holding no descriptor of this one but the standard streams. True when
// the process was started.
bool StartSelf(std::wstring_view command_line);

// Marks every descriptor above the standard streams close-on-exec, so that a program
// started next holds none of this one's files, sockets or pipes. Async-signal-safe where
// the system has close_range(), so a child may call it between fork and exec.
void CloseOnExecAboveStandardStreams();

// Runs the program's own file again in this process, with the command line, keeping the
// process, its terminal and its place in it, and no other descriptor. Returns only when
// that failed (always on Windows, which cannot do it; its front end never asks).
bool ReplaceSelf(std::wstring_view command_line);

}  // namespace zenpo::platform
