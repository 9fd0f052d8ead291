// Real nginx and tinyproxy on loopback for integration tests and benchmarks (free of
// GoogleTest). Each runs in the foreground with its configuration and logs in a
// directory of its own; the destructor stops it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "support/daemon_process.h"
#include "support/temp_dir.h"

namespace zenpo::test {

// Starts program on a free loopback port, picking again while the port turns out taken:
// conf(port) writes the configuration and gives the arguments. False, with the reason
// in *error, when the program is not installed or does not come up.
bool StartOnFreePort(DaemonProcess& process, const std::string& program, const TempDir& work,
                     const std::function<std::vector<std::string>(std::uint16_t)>& conf,
                     std::uint16_t* port, std::string* error);

// Serves docroot: Last-Modified from the file times, 206 for ranges, 416 past the end.
class NginxServer {
 public:
  explicit NginxServer(std::filesystem::path docroot) : docroot_(std::move(docroot)) {}
  bool Start(std::string* error);
  std::uint16_t port() const { return port_; }
  std::string Url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
  }
  std::filesystem::path access_log() const { return work_ / "access.log"; }

 private:
  std::filesystem::path docroot_;
  TempDir work_;
  DaemonProcess process_;
  std::uint16_t port_ = 0;
};

}  // namespace zenpo::test
