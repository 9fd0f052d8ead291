// XvfbDisplay: Xvfb reports the display it took on stdout, a line of digits.
#include "support/xvfb_display.h"

#include <sstream>

namespace zenpo::test {

XvfbDisplay::XvfbDisplay() {
  const auto xvfb = FindProgram("Xvfb");
  const auto out = dir_ / "xvfb.txt";
  std::string error;
  if (!xvfb || !process_.Start({xvfb->string(), "-displayfd", "1", "-nolisten", "tcp", "-noreset",
                                "-screen", "0", "320x240x24"},
                               out, &error)) {
    return;
  }
  Eventually(
      [&] {
        std::istringstream in(ReadFile(out));
        for (std::string line; std::getline(in, line) && !in.eof();) {
          if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) {
            name_ = ":" + line;
            return true;
          }
        }
        return !process_.running();
      },
      std::chrono::seconds(10));
}

}  // namespace zenpo::test
