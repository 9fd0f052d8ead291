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
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/nginx_server.h"

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

// A temporary directory with www/big.bin (size_mib MiB of noise) and www/check.html,
// served by nginx on loopback, and out/ for the downloads. All of it goes with the object.
class ServedBigFile {
 public:
  explicit ServedBigFile(std::uint64_t size_mib) : size_(size_mib << 20) {
    char tmpl[] = "/tmp/zenpo-bench-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) return;
    dir_ = tmpl;
    std::filesystem::create_directories(dir_ / "www");
    std::filesystem::create_directories(dir_ / "out");
    std::ofstream(dir_ / "www/check.html") << "ok\n";
    std::printf("writing a %llu MiB file...\n", static_cast<unsigned long long>(size_mib));
    WriteBigFile(dir_ / "www/big.bin", size_);
  }
  ~ServedBigFile() {
    nginx_.reset();
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  ServedBigFile(const ServedBigFile&) = delete;
  ServedBigFile& operator=(const ServedBigFile&) = delete;

  // Starts nginx; false, with the reason on stderr, when it does not come up.
  bool Start() {
    if (dir_.empty()) return false;
    nginx_ = std::make_unique<zenpo::test::NginxServer>(dir_ / "www");
    std::string error;
    if (nginx_->Start(&error)) return true;
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  std::uint64_t size() const { return size_; }
  const std::filesystem::path& dir() const { return dir_; }
  std::string url() const { return nginx_->Url("/big.bin"); }
  std::string check_url() const { return nginx_->Url("/check.html"); }

 private:
  std::uint64_t size_;
  std::filesystem::path dir_;
  std::unique_ptr<zenpo::test::NginxServer> nginx_;
};

inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The median of one figure over a tool's runs, by the tool's name.
using Runs = std::map<std::string, std::vector<Measure>>;
inline double MedianOf(const Runs& runs, const std::string& name, double Measure::*field) {
  std::vector<double> v;
  const auto it = runs.find(name);
  if (it != runs.end()) {
    for (const Measure& m : it->second) v.push_back(m.*field);
  }
  return Median(v);
}

}  // namespace zenpo::bench
