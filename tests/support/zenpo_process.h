// The built zenpo program started as a user starts it without a terminal: its own
// program directory, stdin from /dev/null, stdout and stderr into a file.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zenpo::test {

class ZenpoProcess {
 public:
  // Starts zenpo with ZENPO_HOME = home and the arguments.
  ZenpoProcess(const std::filesystem::path& home, std::vector<std::string> args = {});
  // Ends a process still running (SIGKILL) and reaps it.
  ~ZenpoProcess();
  ZenpoProcess(const ZenpoProcess&) = delete;
  ZenpoProcess& operator=(const ZenpoProcess&) = delete;

  pid_t pid() const { return pid_; }
  void Signal(int signal) const;
  // The exit status once the process has ended within timeout; nullopt otherwise (or
  // when it was killed by a signal).
  std::optional<int> WaitExit(std::chrono::milliseconds timeout);
  // What the program wrote to stdout and stderr so far.
  std::string Output() const;

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
  std::filesystem::path output_;
};

// Polls condition every 20 ms until it holds or timeout passes; returns its last value.
bool Eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds timeout = std::chrono::seconds(30));

}  // namespace zenpo::test
