// A virtual X server of the test's own, on a display number the server picks itself and
// reports on stdout as a line of digits (-displayfd), so tests side by side never collide.
#pragma once

#include "support/daemon_process.h"
#include "support/temp_dir.h"

namespace zenpo::test {

class XvfbDisplay {
 public:
  XvfbDisplay() {
    const auto xvfb = FindProgram("Xvfb");
    const auto out = dir_ / "xvfb.txt";
    std::string error;
    if (!xvfb || !process_.Start({xvfb->string(), "-displayfd", "1", "-nolisten", "tcp", "-noreset", "-screen", "0",
                                  "320x240x24"}, out, &error))
      return;
    Eventually([&] {  // a whole line of digits among the server's messages
      std::istringstream in(ReadFile(out));
      for (std::string line; std::getline(in, line) && !in.eof();)
        if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) return (name_ = ":" + line, true);
      return !process_.running();
    }, std::chrono::seconds(10));
  }
  bool ok() const { return !name_.empty(); }
  const std::string& name() const { return name_; }
  void Stop() { process_.Stop(); }

 private:
  TempDir dir_;
  DaemonProcess process_;
  std::string name_;
};

}  // namespace zenpo::test
