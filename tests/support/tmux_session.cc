// TmuxSession on the tmux command line.
#include "support/tmux_session.h"

#include <cstdio>
#include <sstream>

#include "support/daemon_process.h"

namespace zenpo::test {

std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

TmuxSession::TmuxSession(const std::string& command, int columns, int rows,
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

std::string TmuxSession::Tmux(const std::string& arguments) const {
  std::string out;
  if (FILE* p = popen(("tmux -S " + ShellQuote((dir_ / "tmux.sock").string()) + " " + arguments).c_str(), "r")) {
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    pclose(p);
  }
  return out;
}

void TmuxSession::SendKeys(const std::vector<std::string>& keys) {
  std::string args;
  for (const std::string& key : keys) args += " " + ShellQuote(key);
  Tmux("send-keys -t t" + args);
}

void TmuxSession::Click(int row, int column) {
  // ESC [ M, then button (0 press, 3 release), column and row, each 32 + the 1-based cell.
  for (int button : {0, 3}) {
    char keys[64];
    std::snprintf(keys, sizeof keys, " 1b 5b 4d %02x %02x %02x", 32 + button, 33 + column, 33 + row);
    Tmux(std::string("send-keys -t t -H") + keys);
  }
}

std::vector<std::string> TmuxSession::Rows() const {
  std::vector<std::string> rows;
  std::istringstream in(Capture());
  for (std::string line; std::getline(in, line);) rows.push_back(line);
  return rows;
}

bool TmuxSession::WaitForScreen(const std::function<bool(const std::string&)>& test,
                                std::chrono::milliseconds timeout) const {
  // A capture starts a tmux client: the screen is read every 50 ms, not more often.
  return Eventually([&] { return test(Capture()); }, timeout, std::chrono::milliseconds(50));
}

bool TmuxSession::WaitForText(const std::string& text, std::chrono::milliseconds timeout) const {
  return WaitForScreen([&](const std::string& s) { return s.find(text) != std::string::npos; },
                       timeout);
}

}  // namespace zenpo::test
