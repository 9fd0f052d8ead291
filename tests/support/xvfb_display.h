// A virtual X server of the test's own, on a display number the server picks itself, so
// tests running side by side never collide.
#pragma once

#include <sys/types.h>

#include <string>

namespace zenpo::test {

class XvfbDisplay {
 public:
  // Starts Xvfb and waits until it serves; ok() is false when it is not installed or
  // did not come up within 10 s.
  XvfbDisplay();
  ~XvfbDisplay();
  XvfbDisplay(const XvfbDisplay&) = delete;
  XvfbDisplay& operator=(const XvfbDisplay&) = delete;

  bool ok() const { return !name_.empty(); }
  // The display's name for DISPLAY, such as ":12".
  const std::string& name() const { return name_; }
  // Ends the server now (the destructor does it otherwise).
  void Stop();

 private:
  pid_t pid_ = -1;
  std::string name_;
};

// Whether an executable of that name is on PATH.
bool ProgramOnPath(const std::string& name);

}  // namespace zenpo::test
