// Real nginx and tinyproxy on loopback for integration tests and benchmarks (free of
// GoogleTest). Each runs in the foreground with its configuration and logs in a
// directory of its own; the destructor stops it.
#pragma once

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>

#include "support/daemon_process.h"
#include "support/temp_dir.h"

namespace zenpo::test {

// Starts program on a free loopback port, picking again while the port turns out taken:
// conf(port) writes the configuration and gives the arguments. False, with the reason
// in *error, when the program is not installed or does not come up.
inline bool StartOnFreePort(DaemonProcess& process, const std::string& program, const TempDir& work,
                            const std::function<std::vector<std::string>(std::uint16_t)>& conf,
                            std::uint16_t* port, std::string* error) {
  auto path = FindProgram(program);
  if (!path) {
    *error = program + " is not installed (scripts/setup installs it)";
    return false;
  }
  for (int attempt = 0; attempt < 5; ++attempt) {
    *port = PickFreeLoopbackPort();
    std::vector<std::string> argv = conf(*port);
    argv.insert(argv.begin(), path->string());
    if (!process.Start(argv, work / "output.log", error)) return false;
    if (process.WaitUntilListening(*port, std::chrono::seconds(10))) return true;
    process.Stop();
    *error = program + " did not start: " + ReadFile(work / "output.log");
    if (error->find("in use") == std::string::npos) return false;
  }
  return false;
}

// Serves docroot: Last-Modified from the file times, 206 for ranges, 416 past the end.
class NginxServer {
 public:
  explicit NginxServer(std::filesystem::path docroot) : docroot_(std::move(docroot)) {}
  bool Start(std::string* error) {
    const std::string dir = work_.path().string();
    return StartOnFreePort(process_, "nginx", work_, [&](std::uint16_t port) {
      std::ofstream(dir + "/nginx.conf")
          << "daemon off; master_process off; worker_processes 1;\n"
          << "pid " << dir << "/nginx.pid; error_log " << dir << "/output.log warn;\n"
          << "events { worker_connections 512; }\nhttp {\n"
          << "  default_type application/octet-stream; access_log " << dir << "/access.log;\n"
          << "  client_body_temp_path " << dir << "/b; proxy_temp_path " << dir << "/p;\n"
          << "  fastcgi_temp_path " << dir << "/f; uwsgi_temp_path " << dir << "/u;\n"
          << "  scgi_temp_path " << dir << "/s;\n"
          << "  server { listen 127.0.0.1:" << port << "; root " << docroot_.string() << "; }\n}\n";
      return std::vector<std::string>{"-p", dir, "-e", dir + "/output.log", "-c", dir + "/nginx.conf"};
    }, &port_, error);
  }
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

// Accepts 127.0.0.1 only and adds "Via: ... (tinyproxy/...)" to every request it forwards.
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
