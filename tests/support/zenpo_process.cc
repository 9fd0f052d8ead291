// ZenpoProcess with fork and exec.
#include "support/zenpo_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "support/temp_dir.h"

namespace zenpo::test {

ZenpoProcess::ZenpoProcess(const std::filesystem::path& home, std::vector<std::string> args) {
  output_ = home / ("zenpo-output-" + std::to_string(getpid()) + "-" +
                    std::to_string(reinterpret_cast<std::uintptr_t>(this)) + ".txt");
  std::vector<std::string> words{ZENPO_BINARY};
  words.insert(words.end(), args.begin(), args.end());
  const std::string home_env = "ZENPO_HOME=" + home.string();
  const std::string out = output_.string();
  pid_ = fork();
  if (pid_ == 0) {
    setpgid(0, 0);
    const int in = open("/dev/null", O_RDONLY);
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, 0);
    dup2(o, 1);
    dup2(o, 2);
    putenv(const_cast<char*>(home_env.c_str()));
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
}

ZenpoProcess::~ZenpoProcess() {
  if (pid_ > 0 && !reaped_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

void ZenpoProcess::Signal(int signal) const { kill(pid_, signal); }

std::optional<int> ZenpoProcess::WaitExit(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!reaped_) {
    int status = 0;
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      reaped_ = true;
      if (!WIFEXITED(status)) return std::nullopt;
      return WEXITSTATUS(status);
    }
    if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return std::nullopt;
}

std::string ZenpoProcess::Output() const { return ReadFile(output_); }

bool Eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace zenpo::test
