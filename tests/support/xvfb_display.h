// A virtual X server of the test's own, on a display number the server picks itself
// (-displayfd), so tests running side by side never collide.
#pragma once

#include <string>

#include "support/daemon_process.h"
#include "support/temp_dir.h"

namespace zenpo::test {

class XvfbDisplay {
 public:
  // Starts Xvfb and waits until it serves; ok() is false when it is not installed or
  // did not come up within 10 s.
  XvfbDisplay();
  bool ok() const { return !name_.empty(); }
  // The display's name for DISPLAY, such as ":12".
  const std::string& name() const { return name_; }
  // Ends the server now (it ends with this object otherwise).
  void Stop() { process_.Stop(); }

 private:
  TempDir dir_;
  DaemonProcess process_;
  std::string name_;
};

}  // namespace zenpo::test
