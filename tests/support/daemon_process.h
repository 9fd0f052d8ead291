// A program run in the foreground as a child process, for tests and benchmarks.
// Free of GoogleTest: failures come back as text for the caller to report.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zenpo::test {

// The full path of program, looked up in PATH and the sbin directories; nullopt when
// it is not installed.
std::optional<std::filesystem::path> FindProgram(const std::string& program);

// A loopback port nobody listens on right now. Another process may take it before the
// caller binds it, so a caller that fails to bind should pick again.
std::uint16_t PickFreeLoopbackPort();

// Polls condition every step until it holds or timeout passes; returns its last value.
bool Eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds timeout = std::chrono::seconds(30),
                std::chrono::milliseconds step = std::chrono::milliseconds(20));

// One running child. The child gets SIGKILL should the thread that started it end first,
// so start it from the thread that stops it (the test's or the benchmark's own).
// Not thread-safe; one owner.
class DaemonProcess {
 public:
  DaemonProcess() = default;
  ~DaemonProcess() { Stop(); }
  DaemonProcess(const DaemonProcess&) = delete;
  DaemonProcess& operator=(const DaemonProcess&) = delete;

  // Starts argv[0] with argv and the variables env ("NAME=value") before ours, stdin
  // from /dev/null, stdout and stderr going to output_file. False (with the reason in
  // *error) when it cannot be started.
  bool Start(const std::vector<std::string>& argv, const std::filesystem::path& output_file,
             std::string* error, const std::vector<std::string>& env = {});

  // Waits until 127.0.0.1:port accepts a connection. False when the child ends first or
  // timeout passes.
  bool WaitUntilListening(std::uint16_t port, std::chrono::milliseconds timeout);

  bool running();
  pid_t pid() const { return pid_; }
  // The exit status once the child has ended within timeout; nullopt otherwise (or when
  // a signal ended it).
  std::optional<int> WaitExit(std::chrono::milliseconds timeout);
  // Sends SIGTERM, waits up to 5 s, then SIGKILL. Does nothing when not running.
  void Stop();

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;  // as waitpid() gave it
};

}  // namespace zenpo::test
