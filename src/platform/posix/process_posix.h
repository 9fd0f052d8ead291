// Starting other programs on POSIX, shared by the back ends that do it (the shell's open
// verb, the terminal front end): the PATH search, the detached start, and the signal
// state a fresh child needs.
#pragma once

#include <signal.h>

#include <string>
#include <vector>

namespace zenpo::platform {

// The path of an executable file of that name, searched on PATH unless the name holds a
// "/"; empty when there is none. An unset PATH searches the system's default path
// (confstr's _CS_PATH), as the shell and execvp do; an empty entry names the working
// directory.
std::string FindOnPath(const std::string& name);

// Starts argv (argv[0] a path, not searched) through a double fork, so it is never our
// child to reap: in a session of its own, its standard streams on /dev/null, none of our
// other descriptors, default signal handling (ignored signals stay ignored). Does not
// wait for the program; true once it has been exec'd, false when it could not start (no
// such file, not executable, no process). Safe from any thread.
bool StartDetached(const std::vector<std::string>& argv);

// argv as execve takes it; the pointers live as long as argv does, unchanged.
std::vector<char*> ArgvPointers(const std::vector<std::string>& argv);

// Blocks every signal on the calling thread for its lifetime: a fork then never runs a
// handler of ours in the child, and the terminal calls raise no SIGTTOU.
class AllSignalsBlocked {
 public:
  AllSignalsBlocked();
  ~AllSignalsBlocked();
  AllSignalsBlocked(const AllSignalsBlocked&) = delete;
  AllSignalsBlocked& operator=(const AllSignalsBlocked&) = delete;

 private:
  sigset_t former_;
};

// In a child forked under AllSignalsBlocked, between fork and exec (async-signal-safe):
// every caught signal goes back to its default, since the caller's handlers would write
// into the caller's own descriptors; ignored ones stay ignored.
void ResetSignalsInChild();

// Then unblocks them all, as a program expects to start.
void UnblockAllInChild();

}  // namespace zenpo::platform
