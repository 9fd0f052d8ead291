// A real tinyproxy on loopback: accepts 127.0.0.1 only and adds "Via: ... (tinyproxy/...)"
// to every request it forwards. Run as root it drops to nobody.
#pragma once

#include "support/nginx_server.h"

namespace zenpo::test {

class TinyproxyServer {
 public:
  bool Start(std::string* error);
  std::string HostPort() const { return "127.0.0.1:" + std::to_string(port_); }
  std::string Log() const { return ReadFile(work_ / "output.log"); }

 private:
  TempDir work_;
  DaemonProcess process_;
  std::uint16_t port_ = 0;
};

}  // namespace zenpo::test
