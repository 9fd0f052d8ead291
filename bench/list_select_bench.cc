// One selection pass over a list of 100,000 lines (about 10 MB), timed next to cp of the
// same file in the same run. Usage: list_select_bench [rounds] [directory] [lines]
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/program_paths.h"
#include "config/settings.h"
#include "list/select_next_entry.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDefaultLines = 100000;

// A list with nothing eligible, so the pass judges every line: finished and failed
// entries with options, and a note now and then.
void WriteList(const std::filesystem::path& path, int lines) {
  static constexpr const char* kStatuses[] = {"900", "901", "133", "899", "902", "136"};
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  char line[256];
  for (int i = 0; i < lines; ++i) {
    if (i % 50 == 0) {
      std::snprintf(line, sizeof(line), "--- downloads of batch %d, kept for the record ---\n",
                    i / 50);
    } else {
      std::snprintf(line, sizeof(line),
                    "%s|http://files.example.org/archive/2010/%02d/package-%06d.tar.gz"
                    "|Referer=http://www.example.org/list/%d\n",
                    kStatuses[i % 6], i % 12 + 1, i, i % 977);
    }
    out << line;
  }
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 15;
  const int lines = argc > 3 ? std::max(1, atoi(argv[3])) : kDefaultLines;
  std::string tmpl = (argc > 2 ? std::filesystem::path(argv[2])
                               : std::filesystem::temp_directory_path()) /
                     "zenpo-bench-XXXXXX";
  if (mkdtemp(tmpl.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::filesystem::path dir = tmpl;
  zenpo::BuildProgramPaths(dir.wstring());
  const std::filesystem::path list = dir / "ZENPO.txt";
  WriteList(list, lines);
  const auto bytes = std::filesystem::file_size(list);
  const std::string cp = "cp '" + list.string() + "' '" + (dir / "copy.txt").string() + "'";

  std::vector<double> pass_ms, cp_ms;
  for (int r = 0; r < rounds; ++r) {
    zenpo::SelectedEntry entry;
    auto t0 = Clock::now();
    const zenpo::ResultCode code = zenpo::SelectNextEntry(&entry);
    auto t1 = Clock::now();
    if (code != 120 || !entry.url.empty()) {
      std::fprintf(stderr, "unexpected selection result %d\n", code);
      return 1;
    }
    if (std::system(cp.c_str()) != 0) return 1;
    auto t2 = Clock::now();
    pass_ms.push_back(Ms(t1 - t0));
    cp_ms.push_back(Ms(t2 - t1));
  }
  const double pass = Median(pass_ms), copy = Median(cp_ms);
  std::printf("list: %d lines, %.1f MB in %s\n", lines, bytes / 1e6, dir.c_str());
  std::printf("selection pass  median %8.2f ms  (%d rounds)\n", pass, rounds);
  std::printf("cp of the list  median %8.2f ms\n", copy);
  std::printf("pass / cp       %8.2f\n", pass / copy);
  std::filesystem::remove_all(dir);
  return 0;
}
