// A real tinyproxy on loopback: accepts 127.0.0.1 only and adds "Via: ... (tinyproxy/...)"
// to every request it forwards.
#pragma once

#include <unistd.h>

#include "support/nginx_server.h"

namespace zenpo::test {

class TinyproxyServer {
 public:
  bool Start(std::string* error) {
    const std::string conf = (work_ / "tinyproxy.conf").string();
    return StartOnFreePort(process_, "tinyproxy", work_, [&](std::uint16_t port) {
      std::ofstream out(conf);
      // Run as root it drops to nobody; the log is the output file, opened before that.
      if (::geteuid() == 0) out << "User nobody\nGroup nogroup\n";
      out << "Port " << port << "\nListen 127.0.0.1\nAllow 127.0.0.1\nTimeout 60\nLogLevel Info\n";
      return std::vector<std::string>{"-d", "-c", conf};
    }, &port_, error);
  }
  std::string HostPort() const { return "127.0.0.1:" + std::to_string(port_); }
  std::string Log() const { return ReadFile(work_ / "output.log"); }

 private:
  TempDir work_;
  DaemonProcess process_;
  std::uint16_t port_ = 0;
};

}  // namespace zenpo::test
