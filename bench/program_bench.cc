// The whole program against curl, wget and aria2: one large file from nginx on loopback,
// the built zenpo headless (stdout not a terminal) on a one-entry list, at the default
// DLBuff, at 20480 and at the largest allowed value. Prints the medians of wall time,
// CPU time and peak memory, with the ratios to curl.
//
//   program_bench [size_mib=1024] [rounds=3] [zenpo=the zenpo beside this program]
//
// The tools take turns within each round, so a machine that slows down slows them all.
// Wall time runs from the first byte in the file to the end: for zenpo, until the list
// line shows 900 (the program then waits for more work and is sent SIGTERM); for the
// others, until they exit. CPU time and peak memory are the whole process's, start-up
// and shutdown included.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "bench_process.h"
#include "config/settings.h"

namespace {

namespace fs = std::filesystem;
using zenpo::bench::Clock;
using zenpo::bench::Measure;

constexpr std::chrono::milliseconds kPollPeriod(2);
constexpr std::chrono::seconds kGiveUp(300);

bool HasByte(const fs::path& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && st.st_size > 0;
}

bool Ended(pid_t pid) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Polls until the first byte is in out; then until done() holds. The time between the
// two, or nothing when the child ended or the time ran out before.
template <typename Done>
bool TimeTransfer(pid_t pid, const fs::path& out, Done done, double* wall_s) {
  const auto give_up = Clock::now() + kGiveUp;
  while (!HasByte(out)) {
    if (Ended(pid) || Clock::now() > give_up) return false;
    std::this_thread::sleep_for(kPollPeriod);
  }
  const auto first_byte = Clock::now();
  while (!done()) {
    if (Clock::now() > give_up) return false;
    std::this_thread::sleep_for(kPollPeriod);
  }
  *wall_s = std::chrono::duration<double>(Clock::now() - first_byte).count();
  return true;
}

Measure RunTool(const std::vector<std::string>& words, const fs::path& out) {
  Measure m;
  const pid_t pid = zenpo::bench::Spawn(words);
  if (pid < 0) return m;
  double wall = 0;
  const bool timed = TimeTransfer(pid, out, [&] { return Ended(pid); }, &wall);
  if (!timed) kill(pid, SIGKILL);
  zenpo::bench::Reap(pid, &m);
  m.wall_s = wall;
  if (!timed) m.status = -1;
  return m;
}

// One run of the program in home on a one-entry list, until the entry's line reads 900.
Measure RunProgram(const std::string& zenpo, const fs::path& home, const std::string& url,
                   const std::string& check_url, int dl_buff, const fs::path& out) {
  fs::remove_all(home);
  fs::create_directories(home);
  std::ofstream(home / "ZENPO.ini") << "DLBuff=" << dl_buff << "\ncheckURL=" << check_url
                                    << "\nmkdir=0\n";
  std::ofstream(home / "ZENPO.txt") << url << "\n";
  std::vector<std::string> env = {"ZENPO_HOME=" + home.string()};
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::string(*e).rfind("ZENPO_HOME=", 0) != 0) env.emplace_back(*e);
  }
  Measure m;
  const pid_t pid = zenpo::bench::Spawn({zenpo}, &env);
  if (pid < 0) return m;
  const fs::path list = home / "ZENPO.txt";
  bool failed = false;
  auto done = [&] {
    const std::string text = ReadAll(list);
    // A code other than the running 899 ends the entry, 900 or not.
    if (text.size() > 3 && text[3] == '|' && text.rfind("899", 0) != 0) {
      failed = text.rfind("900", 0) != 0;
      return true;
    }
    failed = Ended(pid);
    return failed;
  };
  double wall = 0;
  const bool timed = TimeTransfer(pid, out, done, &wall);
  kill(pid, SIGTERM);
  zenpo::bench::Reap(pid, &m);
  m.wall_s = wall;
  // Its exit code is that of the shutdown; the list line tells how the download went.
  m.status = timed && !failed ? 0 : -1;
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  const std::uint64_t size_mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const std::string zenpo =
      argc > 3 ? argv[3] : (fs::read_symlink("/proc/self/exe").parent_path() / "zenpo").string();

  int result = 0;
  {
    zenpo::bench::ServedBigFile served(size_mib);
    if (!served.Start()) return 2;
    const fs::path dir = served.dir();
    const std::string url = served.url();
    const std::string check = served.check_url();
    const fs::path out = dir / "out/big.bin";
    const fs::path home = dir / "home";
    const std::uint64_t size = served.size();
    const fs::path program_out = home / "big.bin";

    std::set<int> sizes = {zenpo::AppSettingsRecord().DLBuff, 20480, zenpo::kMaxDLBuff};
    struct Tool {
      std::string name;
      std::function<Measure()> run;
      const fs::path* file;
    };
    std::vector<Tool> tools = {
        {"curl", [&] { return RunTool({"curl", "-s", "-o", out, url}, out); }, &out},
        {"wget", [&] { return RunTool({"wget", "-q", "-O", out, url}, out); }, &out},
        {"aria2c", [&] {
           return RunTool({"aria2c", "-q", "--file-allocation=none", "--allow-overwrite=true",
                           "-d", out.parent_path(), "-o", out.filename(), url}, out);
         }, &out},
    };
    // The program between the others, so each of its runs has a neighbour to compare to.
    std::size_t at = 1;
    for (int dl_buff : sizes) {
      std::string name = "zenpo DLBuff=" + std::to_string(dl_buff);
      if (dl_buff == zenpo::kMaxDLBuff) name += " (max)";
      tools.insert(tools.begin() + static_cast<std::ptrdiff_t>(at),
                   {name, [&, dl_buff] {
                      return RunProgram(zenpo, home, url, check, dl_buff, program_out);
                    }, &program_out});
      at += 2;
    }

    zenpo::bench::Runs runs;
    for (int r = 0; r < rounds; ++r) {
      for (const Tool& tool : tools) {
        fs::remove(out);
        const Measure m = tool.run();
        std::error_code ec;
        if (m.status != 0 || fs::file_size(*tool.file, ec) != size) {
          std::fprintf(stderr, "%s failed (status %d)\n", tool.name.c_str(), m.status);
          result = 1;
        }
        runs[tool.name].push_back(m);
        std::printf("round %d  %-28s wall %7.3f s  cpu %7.3f s  peak %6.1f MiB\n", r + 1,
                    tool.name.c_str(), m.wall_s, m.cpu_s, m.peak_mib);
        std::fflush(stdout);
      }
    }

    auto median = [&](const std::string& name, double Measure::*field) {
      return zenpo::bench::MedianOf(runs, name, field);
    };
    const double curl_wall = median("curl", &Measure::wall_s);
    const double curl_cpu = median("curl", &Measure::cpu_s);
    std::printf("\n%llu MiB from nginx on loopback, median of %d rounds\n",
                static_cast<unsigned long long>(size_mib), rounds);
    std::printf("%-28s %8s %8s %8s %9s %7s %7s\n", "", "wall s", "cpu s", "user s", "peak MiB",
                "wall/c", "cpu/c");
    for (const Tool& tool : tools) {
      const double wall = median(tool.name, &Measure::wall_s);
      const double cpu = median(tool.name, &Measure::cpu_s);
      std::printf("%-28s %8.3f %8.3f %8.3f %9.1f %7.2f %7.2f\n", tool.name.c_str(), wall, cpu,
                  median(tool.name, &Measure::user_s), median(tool.name, &Measure::peak_mib),
                  wall / curl_wall, cpu / curl_cpu);
    }
  }
  return result;
}
