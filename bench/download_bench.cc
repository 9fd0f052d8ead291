// Downloads one large file from nginx on loopback with DownloadUrl (at the default and the
// largest read size), curl and wget, and prints wall time, CPU time and peak memory of
// each, with the ratios to curl.
//
//   download_bench [size_mib=1024] [rounds=3]
//
// Every download runs in a process of its own, so its CPU time and peak resident memory
// are its own; the figures are the medians over the rounds. The served file and the
// downloads live in a temporary directory removed at the end.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench_process.h"
#include "config/program_paths.h"
#include "config/settings.h"
#include "engine/download_url.h"
#include "platform/window.h"
#include "support/nginx_server.h"

namespace {

namespace fs = std::filesystem;
using zenpo::bench::Measure;
using zenpo::bench::Run;

// The engine's window when nobody looks at it.
class NullWindow : public zenpo::platform::Window {
 public:
  void Post(std::uint32_t, std::uintptr_t, std::intptr_t) override {}
  void SetTimer(int, int) override {}
  void KillTimer(int) override {}
  void Invalidate() override {}
  void SetTitle(std::wstring_view) override {}
  void Show(bool) override {}
  bool IsVisible() const override { return false; }
  void BringToForeground() override {}
  void CheckMenuItem(int, bool) override {}
  bool SetTrayPicture(int) override { return true; }
  void DrawStatus(const zenpo::platform::StatusView&) override {}
  void PopupMenu() override {}
  bool OpenForUser(std::wstring_view) override { return false; }
};

// The child side: one DownloadUrl into dir with the given read size; exits with its code.
int EngineChild(const std::string& dir, const std::string& url, const std::string& check,
                int dl_buff) {
  zenpo::BuildProgramPaths(fs::path(dir).wstring());
  zenpo::ResetSettings();
  zenpo::AppSettings.DLBuff = dl_buff;
  zenpo::AppSettings.mkdir = 0;
  zenpo::AppSettings.checkURL = fs::path(check).wstring();
  NullWindow window;
  const zenpo::ResultCode code =
      zenpo::DownloadUrl(fs::path(url).wstring(), window, L"", L"", L"");
  return code == 900 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 6 && std::string(argv[1]) == "--engine") {
    return EngineChild(argv[2], argv[3], argv[4], std::atoi(argv[5]));
  }
  const std::uint64_t size_mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;

  int result = 0;
  {
    zenpo::bench::ServedBigFile served(size_mib);
    if (!served.Start()) return 2;
    const fs::path dir = served.dir();
    const std::string url = served.url();
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const std::string out = (dir / "out/big.bin").string();
    const std::vector<std::pair<std::string, std::vector<std::string>>> tools = {
        {"curl", {"curl", "-s", "-o", out, url}},
        {"wget", {"wget", "-q", "-O", out, url}},
        {"DownloadUrl DLBuff=10240",
         {self, "--engine", (dir / "out").string(), url, served.check_url(), "10240"}},
        {"DownloadUrl DLBuff=20480",
         {self, "--engine", (dir / "out").string(), url, served.check_url(), "20480"}},
    };
    zenpo::bench::Runs runs;
    for (int r = 0; r < rounds; ++r) {
      for (const auto& [name, words] : tools) {
        fs::remove(out);
        const Measure m = Run(words);
        if (m.status != 0 || fs::file_size(out) != (size_mib << 20)) {
          std::fprintf(stderr, "%s failed (status %d)\n", name.c_str(), m.status);
          result = 1;
        }
        runs[name].push_back(m);
      }
    }
    fs::remove(out);
    auto median = [&](const std::string& name, double Measure::*field) {
      return zenpo::bench::MedianOf(runs, name, field);
    };
    const double curl_wall = median("curl", &Measure::wall_s);
    const double curl_cpu = median("curl", &Measure::cpu_s);
    const double curl_peak = median("curl", &Measure::peak_mib);
    std::printf("%llu MiB from nginx on loopback, median of %d rounds\n",
                static_cast<unsigned long long>(size_mib), rounds);
    std::printf("%-26s %9s %9s %9s %10s %8s %8s %8s\n", "", "wall s", "cpu s", "user s",
                "peak MiB", "wall/c", "cpu/c", "peak/c");
    for (const auto& [name, words] : tools) {
      const double wall = median(name, &Measure::wall_s);
      const double cpu = median(name, &Measure::cpu_s);
      const double peak = median(name, &Measure::peak_mib);
      std::printf("%-26s %9.3f %9.3f %9.3f %10.1f %8.2f %8.2f %8.2f\n", name.c_str(), wall, cpu,
                  median(name, &Measure::user_s), peak, wall / curl_wall, cpu / curl_cpu,
                  peak / curl_peak);
    }
  }
  return result;
}
