// Real nginx and tinyproxy on loopback for integration tests and benchmarks (free of
// GoogleTest), each with its configuration and logs in a directory of its own.
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

// A program on a free loopback port, run in the foreground; the destructor stops it.
class LoopbackDaemon {
 public:
  std::uint16_t port() const { return port_; }
  std::string Url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
  }
  std::string Log() const { return ReadFile(work_ / "output.log"); }

 protected:
  // conf(port) writes the configuration and gives the arguments; a taken port is picked
  // again. False, with the reason in *error, when the program is absent or does not come up.
  bool StartOnFreePort(const std::string& program,
                       const std::function<std::vector<std::string>(std::uint16_t)>& conf,
                       std::string* error) {
    const auto path = FindProgram(program);
    *error = program + " is not installed (scripts/setup installs it)";
    for (int attempt = 0; path && attempt < 5; ++attempt) {
      port_ = PickFreeLoopbackPort();
      std::vector<std::string> argv = conf(port_);
      argv.insert(argv.begin(), path->string());
      if (!process_.Start(argv, work_ / "output.log", error)) return false;
      if (process_.WaitUntilListening(port_, std::chrono::seconds(10))) return true;
      process_.Stop();
      *error = program + " did not start: " + Log();
      if (error->find("in use") == std::string::npos) return false;
    }
    return false;
  }

  TempDir work_;
  DaemonProcess process_;
  std::uint16_t port_ = 0;
};

// Serves docroot: Last-Modified from the file times, 206 for ranges, 416 past the end.
// With a certificate and its key it speaks TLS only, and its URLs are https; extra
// directives go into its server block.
class NginxServer : public LoopbackDaemon {
 public:
  explicit NginxServer(std::filesystem::path docroot, std::filesystem::path cert = {},
                       std::filesystem::path key = {}, std::string extra = {})
      : docroot_(std::move(docroot)), cert_(std::move(cert)), key_(std::move(key)),
        extra_(std::move(extra)) {}
  std::string Url(std::string_view path) const {
    return (cert_.empty() ? "http" : "https") + LoopbackDaemon::Url(path).substr(4);
  }
  bool Start(std::string* error) {
    const std::string dir = work_.path().string();
    return StartOnFreePort("nginx", [&](std::uint16_t port) {
      std::ofstream conf(dir + "/nginx.conf");
      conf << "daemon off; master_process off; worker_processes 1;\n"
           << "pid " << dir << "/nginx.pid; error_log " << dir << "/output.log warn;\n"
           << "events { worker_connections 512; }\nhttp {\n"
           << "  default_type application/octet-stream; access_log " << dir << "/access.log;\n"
           << "  client_body_temp_path " << dir << "/b; proxy_temp_path " << dir << "/p;\n"
           << "  fastcgi_temp_path " << dir << "/f; uwsgi_temp_path " << dir << "/u;\n"
           << "  scgi_temp_path " << dir << "/s;\n"
           << "  server { listen 127.0.0.1:" << port << (cert_.empty() ? "" : " ssl") << "; root "
           << docroot_.string() << ";\n";
      if (!cert_.empty())
        conf << "    ssl_certificate " << cert_.string() << "; ssl_certificate_key " << key_.string() << ";\n";
      conf << extra_ << "\n  }\n}\n";
      conf.close();
      return std::vector<std::string>{"-p", dir, "-e", dir + "/output.log",
                                      "-c", dir + "/nginx.conf"};
    }, error);
  }
  std::filesystem::path access_log() const { return work_ / "access.log"; }

 private:
  std::filesystem::path docroot_, cert_, key_;
  std::string extra_;
};

// Accepts 127.0.0.1 only and adds "Via: ... (tinyproxy/...)" to every request it forwards.
class TinyproxyServer : public LoopbackDaemon {
 public:
  bool Start(std::string* error) {
    const std::string conf = (work_ / "tinyproxy.conf").string();
    return StartOnFreePort("tinyproxy", [&](std::uint16_t port) {
      std::ofstream out(conf);
      // Run as root it drops to nobody; the log is the output file, opened before that.
      if (::geteuid() == 0) out << "User nobody\nGroup nogroup\n";
      out << "Port " << port << "\nListen 127.0.0.1\nAllow 127.0.0.1\nTimeout 60\nLogLevel Info\n";
      return std::vector<std::string>{"-d", "-c", conf};
    }, error);
  }
};

}  // namespace zenpo::test
