// The built zenpo program started as a user starts it without a terminal: its own
// program directory (ZENPO_HOME), stdin from /dev/null, stdout and stderr into a file.
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
  // What the program wrote to stdout and stderr so far.
  std::string Output() const { return ReadFile(output_); }

 private:
  std::filesystem::path output_;
};

}  // namespace zenpo::test
