// TmuxSession on the tmux command line.
#include "support/tmux_session.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "support/xvfb_display.h"

namespace zenpo::test {
namespace {

std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return out;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  pclose(p);
  return out;
}

}  // namespace

std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

bool WaitUntil(const std::function<bool()>& test, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!test()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

TmuxSession::TmuxSession(const std::string& command, int columns, int rows,
                         const std::map<std::string, std::string>& env) {
  if (!ProgramOnPath("tmux")) return;
  socket_ = (dir_.path() / "tmux.sock").string();
  // Passed through env(1): tmux would take PATH from its own global environment.
  std::string environment = "env";
  for (const auto& [name, value] : env) environment += " " + ShellQuote(name + "=" + value);
  // No configuration of the user's; the pane's terminal type is fixed for repeatable keys.
  Tmux("-f /dev/null start-server \\; set-option -g remain-on-exit on \\; "
       "set-option -g default-terminal screen \\; new-session -d -s t -x " +
       std::to_string(columns) + " -y " + std::to_string(rows) + " " +
       ShellQuote("exec " + environment + " " + command));
  ok_ = WaitUntil([&] { return Tmux("has-session -t t 2>/dev/null && echo up") == "up\n"; });
}

TmuxSession::~TmuxSession() {
  if (!socket_.empty()) Tmux("kill-server 2>/dev/null");
}

std::string TmuxSession::Tmux(const std::string& arguments) const {
  return RunCommand("tmux -S " + ShellQuote(socket_) + " " + arguments);
}

void TmuxSession::SendKeys(const std::vector<std::string>& keys) {
  std::string args;
  for (const std::string& key : keys) args += " " + ShellQuote(key);
  Tmux("send-keys -t t" + args);
}

void TmuxSession::Click(int row, int column) {
  auto hex = [](int byte) {
    char buf[8];
    std::snprintf(buf, sizeof buf, " %02x", byte);
    return std::string(buf);
  };
  // ESC [ M, then button, column and row, each offset by 32 (cells counted from 1).
  const std::string head = hex(0x1b) + hex('[') + hex('M');
  const std::string where = hex(32 + column + 1) + hex(32 + row + 1);
  Tmux("send-keys -t t -H" + head + hex(32 + 0) + where);
  Tmux("send-keys -t t -H" + head + hex(32 + 3) + where);
}

void TmuxSession::Resize(int columns, int rows) {
  Tmux("resize-window -t t -x " + std::to_string(columns) + " -y " + std::to_string(rows));
}

std::string TmuxSession::Capture(bool with_colours) const {
  return Tmux(std::string("capture-pane -p -N -t t") + (with_colours ? " -e" : ""));
}

std::vector<std::string> TmuxSession::Rows() const {
  std::vector<std::string> rows;
  std::istringstream in(Capture());
  for (std::string line; std::getline(in, line);) rows.push_back(line);
  return rows;
}

bool TmuxSession::WaitForScreen(const std::function<bool(const std::string&)>& test,
                                std::chrono::milliseconds timeout) const {
  return WaitUntil([&] { return test(Capture()); }, timeout);
}

bool TmuxSession::WaitForText(const std::string& text, std::chrono::milliseconds timeout) const {
  return WaitForScreen([&](const std::string& s) { return s.find(text) != std::string::npos; },
                       timeout);
}

bool TmuxSession::Ended() const {
  return Tmux("display-message -p -t t '#{pane_dead}'") == "1\n";
}

int TmuxSession::PanePid() const {
  return std::atoi(Tmux("display-message -p -t t '#{pane_pid}'").c_str());
}

}  // namespace zenpo::test
