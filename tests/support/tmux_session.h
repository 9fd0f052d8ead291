// A program running in a real terminal for tests: a tmux session on a server of the
// test's own (socket in a fresh directory), with keys, mouse clicks and screen captures.
#pragma once

#include <cstdio>
#include <map>

#include "support/daemon_process.h"
#include "support/temp_dir.h"

namespace zenpo::test {

inline std::string ShellQuote(std::string text) {
  for (std::size_t at = 0; (at = text.find('\'', at)) != std::string::npos; at += 4) text.replace(at, 1, "'\\''");
  return "'" + text + "'";
}

class TmuxSession {
 public:
  // The pane stays after the command ends, so its last screen can still be read.
  TmuxSession(const std::string& command, int columns, int rows,
              const std::map<std::string, std::string>& env) {
    // Passed through env(1): tmux would take PATH from its own global environment.
    std::string environment = "env";
    for (const auto& [name, value] : env) environment += " " + ShellQuote(name + "=" + value);
    // No configuration of the user's; the pane's terminal type is fixed for repeatable keys.
    Tmux("-f /dev/null start-server \\; set-option -g remain-on-exit on \\; "
         "set-option -g default-terminal screen \\; new-session -d -s t -x " +
         std::to_string(columns) + " -y " + std::to_string(rows) + " " +
         ShellQuote("exec " + environment + " " + command));
    ok_ = Eventually([&] { return Tmux("has-session -t t 2>/dev/null && echo up") == "up\n"; },
                     std::chrono::seconds(10));
  }
  ~TmuxSession() { Tmux("kill-server 2>/dev/null"); }

  bool ok() const { return ok_; }
  void SendKeys(const std::vector<std::string>& keys) const {
    std::string args;
    for (const std::string& key : keys) args += " " + ShellQuote(key);
    Tmux("send-keys -t t" + args);
  }
  // Left press and release at the 0-based cell: ESC [ M, button (0, 3), column, row (32 + 1-based).
  void Click(int row, int column) const {
    for (int button : {0, 3}) {
      char keys[64];
      std::snprintf(keys, sizeof keys, " 1b 5b 4d %02x %02x %02x", 32 + button, 33 + column, 33 + row);
      Tmux(std::string("send-keys -t t -H") + keys);
    }
  }
  std::string Capture(bool with_colours = false) const {
    return Tmux(std::string("capture-pane -p -N -t t") + (with_colours ? " -e" : ""));
  }
  // A capture starts a tmux client: the screen is read every 50 ms, not more often.
  template <typename Test>
  bool WaitForScreen(Test test, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
    return Eventually([&] { return test(Capture()); }, timeout, std::chrono::milliseconds(50));
  }
  bool WaitForText(const std::string& text) const { return WaitForScreen([&](const auto& s) { return s.find(text) != s.npos; }); }
  int PanePid() const { return std::atoi(Tmux("display-message -p -t t '#{pane_pid}'").c_str()); }
  bool ApplicationKeys() const { return Tmux("display-message -p -t t '#{keypad_cursor_flag}'") == "1\n"; }

 private:
  std::string Tmux(const std::string& arguments) const {
    std::string out;
    if (FILE* p = popen(("tmux -S " + ShellQuote((dir_ / "tmux.sock").string()) + " " + arguments).c_str(), "r")) {
      char buf[4096];
      for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
      pclose(p);
    }
    return out;
  }

  TempDir dir_;
  bool ok_ = false;
};

}  // namespace zenpo::test
