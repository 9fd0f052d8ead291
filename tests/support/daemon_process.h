// A program run as a child process, for tests and benchmarks; free of GoogleTest, so
// failures come back as text.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace zenpo::test {

inline std::optional<std::filesystem::path> FindProgram(const std::string& program) {
  std::istringstream dirs(std::string(std::getenv("PATH") ? std::getenv("PATH") : "") + ":/usr/local/sbin:/usr/sbin:/sbin");
  for (std::string dir; std::getline(dirs, dir, ':');)
    if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return std::filesystem::path(dir) / program;
  return std::nullopt;
}

inline bool Eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds timeout = std::chrono::seconds(30),
                       std::chrono::milliseconds step = std::chrono::milliseconds(20)) {
  for (const auto deadline = std::chrono::steady_clock::now() + timeout; !condition(); std::this_thread::sleep_for(step))
    if (std::chrono::steady_clock::now() > deadline) return condition();
  return true;
}

// One running child; it gets SIGKILL when the thread that started it ends, so start it from the one that stops it.
class DaemonProcess {
 public:
  DaemonProcess() = default;
  ~DaemonProcess() { Stop(); }
  DaemonProcess(const DaemonProcess&) = delete;
  DaemonProcess& operator=(const DaemonProcess&) = delete;

  // The variables of env ("NAME=value") go before ours.
  bool Start(const std::vector<std::string>& argv, const std::filesystem::path& output_file,
             std::string* error, const std::vector<std::string>& env = {}) {
    Stop();
    status_.reset();
    const int out = ::open(output_file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (out < 0) return (*error = "cannot create " + output_file.string() + ": " + std::strerror(errno), false);
    // Only async-signal-safe calls may follow the fork in a process with threads.
    std::vector<char*> args, envp;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    for (char** e = environ; *e != nullptr; ++e) envp.push_back(*e);
    args.push_back(nullptr);
    envp.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != parent) ::_exit(127);
      ::dup2(out, STDOUT_FILENO);
      ::dup2(out, STDERR_FILENO);
      const int null = ::open("/dev/null", O_RDONLY);
      if (null >= 0) ::dup2(null, STDIN_FILENO);
      ::execve(args[0], args.data(), envp.data());
      ::_exit(127);
    }
    ::close(out);
    if (pid < 0) *error = std::string("fork failed: ") + std::strerror(errno);
    pid_ = pid < 0 ? -1 : pid;
    return pid > 0;
  }

  bool running() {
    int status;
    if (pid_ < 0 || ::waitpid(pid_, &status, WNOHANG) != pid_) return pid_ >= 0;
    status_ = status;
    pid_ = -1;
    return false;
  }
  pid_t pid() const { return pid_; }
  std::optional<int> WaitExit(std::chrono::milliseconds timeout) {
    Eventually([&] { return !running(); }, timeout);
    if (!status_ || !WIFEXITED(*status_)) return std::nullopt;
    return WEXITSTATUS(*status_);
  }
  void Stop() {
    if (!running()) return;
    ::kill(pid_, SIGTERM);
    if (Eventually([&] { return !running(); }, std::chrono::seconds(5))) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;  // as waitpid() gave it
};

}  // namespace zenpo::test
