// NginxServer: a generated configuration, a free port, nginx in the foreground.
#include "support/nginx_server.h"

#include <chrono>
#include <fstream>

namespace zenpo::test {

NginxServer::NginxServer(std::filesystem::path docroot) : docroot_(std::move(docroot)) {}

bool NginxServer::Start(std::string* error) {
  auto nginx = FindProgram("nginx");
  if (!nginx) {
    *error = "nginx is not installed (scripts/setup installs it)";
    return false;
  }
  const std::filesystem::path dir = work_.path();
  // The port may be taken between picking and binding; pick again then.
  for (int attempt = 0; attempt < 5; ++attempt) {
    port_ = PickFreeLoopbackPort();
    std::ofstream conf(dir / "nginx.conf", std::ios::trunc);
    conf << "daemon off;\n"
         << "master_process off;\n"
         << "worker_processes 1;\n"
         << "pid " << (dir / "nginx.pid").string() << ";\n"
         << "error_log " << (dir / "error.log").string() << " warn;\n"
         << "events { worker_connections 512; }\n"
         << "http {\n"
         << "  default_type application/octet-stream;\n"
         << "  access_log " << access_log().string() << ";\n"
         << "  client_body_temp_path " << (dir / "client_body").string() << ";\n"
         << "  proxy_temp_path " << (dir / "proxy").string() << ";\n"
         << "  fastcgi_temp_path " << (dir / "fastcgi").string() << ";\n"
         << "  uwsgi_temp_path " << (dir / "uwsgi").string() << ";\n"
         << "  scgi_temp_path " << (dir / "scgi").string() << ";\n"
         << "  sendfile on;\n"
         << "  keepalive_timeout 30;\n"
         << "  server {\n"
         << "    listen 127.0.0.1:" << port_ << ";\n"
         << "    server_name localhost;\n"
         << "    root " << docroot_.string() << ";\n"
         << "  }\n"
         << "}\n";
    conf.close();
    if (!process_.Start({nginx->string(), "-p", dir.string(), "-e", (dir / "error.log").string(),
                         "-c", (dir / "nginx.conf").string()},
                        dir / "output.log", error)) {
      return false;
    }
    if (process_.WaitUntilListening(port_, std::chrono::seconds(10))) return true;
    process_.Stop();
    std::string log = ReadFile(dir / "error.log") + ReadFile(dir / "output.log");
    if (log.find("Address already in use") == std::string::npos) {
      *error = "nginx did not start: " + log;
      return false;
    }
  }
  *error = "nginx found no free port";
  return false;
}

std::string NginxServer::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::wstring NginxServer::WideUrl(std::string_view path) const {
  std::string url = Url(path);
  return std::wstring(url.begin(), url.end());
}

}  // namespace zenpo::test
