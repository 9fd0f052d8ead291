// A program running in a real terminal for tests: a tmux session on a server of the
// test's own (socket in a fresh directory), with keys, mouse clicks, resizes and screen
// captures.
#pragma once

#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace zenpo::test {

class TmuxSession {
 public:
  // Starts command (a shell command line) in a detached session columns x rows with the
  // variables of env added to its environment; ok() is false when the session did not
  // start. The pane stays after the command ends, so its last screen can still be read.
  TmuxSession(const std::string& command, int columns, int rows,
              const std::map<std::string, std::string>& env = {});
  ~TmuxSession() { Tmux("kill-server 2>/dev/null"); }
  TmuxSession(const TmuxSession&) = delete;
  TmuxSession& operator=(const TmuxSession&) = delete;

  bool ok() const { return ok_; }
  // Key names as tmux knows them ("Enter", "Down", "F1", "m").
  void SendKeys(const std::vector<std::string>& keys);
  // A left-button press and release at the 0-based cell, as an xterm mouse report.
  void Click(int row, int column);
  void Resize(int columns, int rows) {
    Tmux("resize-window -t t -x " + std::to_string(columns) + " -y " + std::to_string(rows));
  }
  // The screen's rows as text; with colours, the attributes as escape sequences too.
  std::string Capture(bool with_colours = false) const {
    return Tmux(std::string("capture-pane -p -N -t t") + (with_colours ? " -e" : ""));
  }
  std::vector<std::string> Rows() const;
  // Waits up to timeout until the screen passes the test; false when it never did.
  bool WaitForScreen(const std::function<bool(const std::string&)>& test,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
  bool WaitForText(const std::string& text,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
  // The process id of the command.
  int PanePid() const { return std::atoi(Tmux("display-message -p -t t '#{pane_pid}'").c_str()); }
  // Whether the keys are in their application form, as a curses program asks for them.
  bool ApplicationKeys() const { return Tmux("display-message -p -t t '#{keypad_cursor_flag}'") == "1\n"; }

 private:
  std::string Tmux(const std::string& arguments) const;

  TempDir dir_;
  bool ok_ = false;
};

// Single quotes for the shell around any text.
std::string ShellQuote(const std::string& text);

}  // namespace zenpo::test
