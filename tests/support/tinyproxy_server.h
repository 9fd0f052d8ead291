// A real tinyproxy on loopback, for integration tests of the proxy path.
//
// Usage (free of GoogleTest):
//   TinyproxyServer proxy;
//   std::string error;
//   ASSERT_TRUE(proxy.Start(&error)) << error;
//   ... use proxy.HostPort() as the proxy setting ...
// It accepts clients from 127.0.0.1 only and adds "Via: 1.1 <host> (tinyproxy/...)" to
// every request it forwards, which tells a proxied request at the origin. Runs in the
// foreground; run as root it drops to nobody. The destructor stops it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "support/daemon_process.h"
#include "support/temp_dir.h"

namespace zenpo::test {

class TinyproxyServer {
 public:
  ~TinyproxyServer() { Stop(); }

  // Starts tinyproxy on a free loopback port and waits until it accepts connections.
  // False, with the reason in *error, when tinyproxy is not installed or does not come up.
  bool Start(std::string* error);
  void Stop() { process_.Stop(); }

  std::uint16_t port() const { return port_; }
  // "127.0.0.1:port", the form of the proxy setting.
  std::string HostPort() const { return "127.0.0.1:" + std::to_string(port_); }
  // What tinyproxy logged (connections, forwarded requests, errors).
  std::string Log() const;

 private:
  TempDir work_;
  DaemonProcess process_;
  std::uint16_t port_ = 0;
};

}  // namespace zenpo::test
