// TinyproxyServer: a generated configuration, tinyproxy in the foreground.
#include "support/tinyproxy_server.h"

#include <unistd.h>

#include <fstream>

namespace zenpo::test {

bool TinyproxyServer::Start(std::string* error) {
  const std::string conf = (work_ / "tinyproxy.conf").string();
  return StartOnFreePort(process_, "tinyproxy", work_, [&](std::uint16_t port) {
    std::ofstream out(conf);
    // The log goes to the output file, opened before root switches to nobody.
    if (::geteuid() == 0) out << "User nobody\nGroup nogroup\n";
    out << "Port " << port << "\nListen 127.0.0.1\nAllow 127.0.0.1\nTimeout 60\nLogLevel Info\n";
    return std::vector<std::string>{"-d", "-c", conf};
  }, &port_, error);
}

}  // namespace zenpo::test
