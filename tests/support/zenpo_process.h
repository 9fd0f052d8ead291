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
  ZenpoProcess(const std::filesystem::path& home, std::vector<std::string> args = {}) {
    args.insert(args.begin(), ZENPO_BINARY);
    std::string error;
    Start(args, home / "zenpo-output.txt", &error, {"ZENPO_HOME=" + home.string()});
  }
};

}  // namespace zenpo::test
