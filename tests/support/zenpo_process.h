// The built zenpo program started without a terminal in its own program directory.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/daemon_process.h"
#include "support/temp_dir.h"

namespace zenpo::test {

// The variables of env ("NAME=value") go before the test's own; binary replaces the
// built program (a copy of it, say).
class ZenpoProcess : public DaemonProcess {
 public:
  ZenpoProcess(const std::filesystem::path& home, std::vector<std::string> args = {},
               std::vector<std::string> env = {}, const std::string& binary = ZENPO_BINARY) {
    args.insert(args.begin(), binary);
    env.push_back("ZENPO_HOME=" + home.string());
    std::string error;
    Start(args, home / "zenpo-output.txt", &error, env);
  }
};

}  // namespace zenpo::test
