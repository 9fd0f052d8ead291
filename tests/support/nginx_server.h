// A real nginx on loopback serving a directory, for integration tests and benchmarks.
//
// Usage (free of GoogleTest, so benchmarks can use it too):
//   NginxServer nginx(docroot);
//   std::string error;
//   ASSERT_TRUE(nginx.Start(&error)) << error;
//   ... fetch nginx.Url("/file.bin") ...
// Files get Last-Modified from their modification time and Range requests are answered
// with 206 (416 past the end). nginx runs in the foreground as a single process; its
// configuration, logs and temporary files live in a directory of its own, removed when
// the object goes. The destructor stops nginx.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "support/daemon_process.h"
#include "support/temp_dir.h"

namespace zenpo::test {

class NginxServer {
 public:
  explicit NginxServer(std::filesystem::path docroot);
  ~NginxServer() { Stop(); }

  // Starts nginx on a free loopback port and waits until it accepts connections. False,
  // with the reason in *error, when nginx is not installed or does not come up.
  bool Start(std::string* error);
  void Stop() { process_.Stop(); }

  std::uint16_t port() const { return port_; }
  // "http://127.0.0.1:port" + path, narrow and wide.
  std::string Url(std::string_view path) const;
  std::wstring WideUrl(std::string_view path) const;
  // One line per request served, in nginx's combined format.
  std::filesystem::path access_log() const { return work_.path() / "access.log"; }

 private:
  std::filesystem::path docroot_;
  TempDir work_;
  DaemonProcess process_;
  std::uint16_t port_ = 0;
};

}  // namespace zenpo::test
