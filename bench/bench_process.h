// What the download benchmarks share: running a child process and measuring it, the
// served file, medians.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace zenpo::bench {

using Clock = std::chrono::steady_clock;

struct Measure {
  double wall_s = 0;
  double cpu_s = 0;
  double user_s = 0;
  double peak_mib = 0;  // the child's peak resident size (VmHWM)
  int status = -1;
};

// Starts words[0] (looked up in PATH) with stdin, stdout and stderr on /dev/null, so a
// program that asks whether it has a terminal finds none; env, when given, replaces the
// environment. -1 when it cannot be started.
inline pid_t Spawn(const std::vector<std::string>& words, const std::vector<std::string>* env = nullptr) {
  std::vector<char*> argv;
  for (const auto& w : words) argv.push_back(const_cast<char*>(w.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  if (env != nullptr) {
    for (const auto& e : *env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(),
                              env != nullptr ? envp.data() : environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

// Waits for pid to end and fills in its CPU time, peak memory and exit status.
inline void Reap(pid_t pid, Measure* m) {
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return;
  auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  m->user_s = seconds(usage.ru_utime);
  m->cpu_s = m->user_s + seconds(usage.ru_stime);
  m->peak_mib = static_cast<double>(usage.ru_maxrss) / 1024.0;
  m->status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs words to its end and measures it, the wall time from start to end.
inline Measure Run(const std::vector<std::string>& words) {
  Measure m;
  const auto start = Clock::now();
  const pid_t pid = Spawn(words);
  if (pid < 0) return m;
  Reap(pid, &m);
  m.wall_s = std::chrono::duration<double>(Clock::now() - start).count();
  return m;
}

// size bytes of noise, so nothing along the way can compress them.
inline void WriteBigFile(const std::filesystem::path& path, std::uint64_t size) {
  std::ofstream out(path, std::ios::binary);
  std::vector<char> block(1 << 20);
  std::uint64_t x = 88172645463325252ULL;
  for (std::uint64_t done = 0; done < size; done += block.size()) {
    for (std::size_t i = 0; i < block.size(); i += 8) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      std::memcpy(&block[i], &x, 8);
    }
    out.write(block.data(),
              static_cast<std::streamsize>(std::min<std::uint64_t>(block.size(), size - done)));
  }
}

inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace zenpo::bench
