// TinyproxyServer: a generated configuration, a free port, tinyproxy in the foreground.
#include "support/tinyproxy_server.h"

#include <unistd.h>

#include <chrono>
#include <fstream>

namespace zenpo::test {

bool TinyproxyServer::Start(std::string* error) {
  auto tinyproxy = FindProgram("tinyproxy");
  if (!tinyproxy) {
    *error = "tinyproxy is not installed (scripts/setup installs it)";
    return false;
  }
  const std::filesystem::path dir = work_.path();
  for (int attempt = 0; attempt < 5; ++attempt) {
    port_ = PickFreeLoopbackPort();
    std::ofstream conf(dir / "tinyproxy.conf", std::ios::trunc);
    // Root must name an unprivileged user to switch to. The log goes to the output
    // file, which stays writable after the switch since it is opened before.
    if (::geteuid() == 0) conf << "User nobody\nGroup nogroup\n";
    conf << "Port " << port_ << "\n"
         << "Listen 127.0.0.1\n"
         << "Allow 127.0.0.1\n"
         << "Timeout 60\n"
         << "MaxClients 64\n"
         << "LogLevel Info\n";
    conf.close();
    if (!process_.Start({tinyproxy->string(), "-d", "-c", (dir / "tinyproxy.conf").string()},
                        dir / "output.log", error)) {
      return false;
    }
    if (process_.WaitUntilListening(port_, std::chrono::seconds(10))) return true;
    process_.Stop();
    std::string log = Log();
    if (log.find("in use") == std::string::npos) {
      *error = "tinyproxy did not start: " + log;
      return false;
    }
  }
  *error = "tinyproxy found no free port";
  return false;
}

std::string TinyproxyServer::Log() const { return ReadFile(work_.path() / "output.log"); }

}  // namespace zenpo::test
