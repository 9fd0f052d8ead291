// TestHttpServer on POSIX sockets: one acceptor thread, one thread per connection, one
// request per connection. A shut-down socket ends the accept, receive or send a thread
// is blocked in.
#include "support/test_http_server.h"

#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <sstream>

namespace zenpo::test {

std::optional<std::string> ReceivedRequest::Header(std::string_view name) const {
  for (const auto& [n, v] : headers)
    if (n.size() == name.size() && strncasecmp(n.data(), name.data(), n.size()) == 0) return v;
  return std::nullopt;
}

std::string BodyBytes(std::uint64_t offset, std::size_t size) {
  std::string s(size, '\0');
  for (std::uint64_t i = offset; i < offset + size; ++i)
    s[i - offset] = static_cast<char>(((i * 0x9E3779B97F4A7C15ull) >> 56) ^ (i >> 11));
  return s;
}

struct TestHttpServer::Shared {
  std::mutex mutex;
  std::map<std::string, Route> routes;
  std::vector<ReceivedRequest> requests;
  std::set<int> fds;  // open connections
  std::vector<std::thread> threads;
  bool stopping = false;
};

TestHttpServer::TestHttpServer() : shared_(std::make_shared<Shared>()) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0 || ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listen_fd_, 64) != 0 ||
      ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    std::perror("TestHttpServer");
    std::abort();
  }
  port_ = ntohs(addr.sin_port);
  acceptor_ = std::thread([this] {
    for (;;) {
      const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
      std::lock_guard lock(shared_->mutex);
      if (shared_->stopping) {
        if (fd >= 0) ::close(fd);
        return;
      }
      if (fd < 0) continue;
      shared_->fds.insert(fd);
      shared_->threads.emplace_back([this, fd] {
        Serve(fd);
        std::lock_guard lock(shared_->mutex);
        shared_->fds.erase(fd);
        ::close(fd);
      });
    }
  });
}

TestHttpServer::~TestHttpServer() {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->stopping = true;
    ::shutdown(listen_fd_, SHUT_RDWR);
    for (int fd : shared_->fds) ::shutdown(fd, SHUT_RDWR);
  }
  acceptor_.join();
  for (auto& t : shared_->threads) t.join();  // no thread is added any more
  ::close(listen_fd_);
}

std::wstring TestHttpServer::WideUrl(std::string_view path) const {
  const std::string url = Url(path);
  return std::wstring(url.begin(), url.end());
}

void TestHttpServer::SetRoute(const std::string& path, Route route) {
  std::lock_guard lock(shared_->mutex);
  shared_->routes[path] = std::move(route);
}

std::vector<ReceivedRequest> TestHttpServer::Requests() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->requests;
}

void TestHttpServer::Serve(int fd) {
  auto send_all = [fd](std::string_view data) {
    for (ssize_t n = 0; !data.empty(); data.remove_prefix(static_cast<std::size_t>(n))) {
      if ((n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL)) <= 0) return false;
    }
    return true;
  };
  // Holds the connection until the client closes it or the server stops.
  auto hold = [fd] {
    char sink[4096];
    while (::recv(fd, sink, sizeof sink, 0) > 0) {
    }
  };
  std::string text;
  char buf[4096];
  for (ssize_t n; text.find("\r\n\r\n") == std::string::npos; text.append(buf, static_cast<std::size_t>(n))) {
    if ((n = ::recv(fd, buf, sizeof buf, 0)) <= 0) return;
  }
  std::istringstream head(text.substr(0, text.find("\r\n\r\n")));
  ReceivedRequest req;
  for (std::string line; std::getline(head, line);) {
    if (line.ends_with('\r')) line.pop_back();
    const std::size_t colon = line.find(':');
    if (req.request_line.empty()) {
      req.request_line = line;
    } else if (colon != std::string::npos) {
      req.headers.emplace_back(line.substr(0, colon), line.substr(std::min(line.find_first_not_of(' ', colon + 1), line.size())));
    }
  }
  const std::size_t sp = req.request_line.find(' ');
  req.target = req.request_line.substr(sp + 1, req.request_line.rfind(' ') - sp - 1);
  Route route{.status = 404, .body = "not found"};
  {
    std::lock_guard lock(shared_->mutex);
    if (shared_->routes.contains(req.target)) route = shared_->routes.at(req.target);
    shared_->requests.push_back(req);
  }
  if (route.never_answer) return hold();

  const std::uint64_t size = route.generated_size.value_or(route.body.size());
  std::uint64_t first = 0;
  std::string out = "HTTP/1.1 " + std::to_string(route.status) + " Status\r\n";
  if (route.honour_range &&
      std::sscanf(req.Header("Range").value_or("").c_str(), "bytes=%" SCNu64 "-", &first) == 1) {
    first = std::min(first, size);
    out = first < size ? "HTTP/1.1 206 Partial\r\nContent-Range: bytes " + std::to_string(first) + "-" + std::to_string(size - 1)
                       : "HTTP/1.1 416 Past the end\r\nContent-Range: bytes *";
    out += "/" + std::to_string(size) + "\r\n";
  }
  const std::uint64_t count = size - first;
  for (const auto& [n, v] : route.headers) out += n + ": " + v + "\r\n";
  if (route.content_length) out += "Content-Length: " + std::to_string(count) + "\r\n";
  if (!send_all(out + "Connection: close\r\n\r\n")) return;
  const std::uint64_t limit = std::min({count, route.stall_after.value_or(count), route.drop_after.value_or(count)});
  for (std::uint64_t sent = 0; sent < limit;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(limit - sent, 65536));
    if (!send_all(route.generated_size ? BodyBytes(first + sent, n) : route.body.substr(first + sent, n))) return;
    sent += n;
  }
  if (limit < count && route.stall_after) hold();
}

}  // namespace zenpo::test
