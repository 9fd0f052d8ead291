// NginxServer and the free-port start both daemons share.
#include "support/nginx_server.h"

#include <chrono>
#include <fstream>

namespace zenpo::test {

bool StartOnFreePort(DaemonProcess& process, const std::string& program, const TempDir& work,
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

bool NginxServer::Start(std::string* error) {
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

}  // namespace zenpo::test
