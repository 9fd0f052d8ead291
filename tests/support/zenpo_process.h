// The built zenpo program started without a terminal in its own program directory.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/daemon_process.h"
#include "support/temp_dir.h"

namespace zenpo::test {

class ZenpoProcess : public DaemonProcess {
 public:
  ZenpoProcess(const std::filesystem::path& home, const std::vector<std::string>& args = {}) {
    static int started = 0;
    output_ = home / ("zenpo-output-" + std::to_string(++started) + ".txt");
    std::vector<std::string> argv{ZENPO_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string error;
    Start(argv, output_, &error, {"ZENPO_HOME=" + home.string()});
  }
  std::string Output() const { return ReadFile(output_); }

 private:
  std::filesystem::path output_;
};

}  // namespace zenpo::test
