// TestHttpServer on POSIX sockets: one acceptor thread, one thread per connection.
#include "support/test_http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>

namespace zenpo::test {

std::optional<std::string> ReceivedRequest::Header(std::string_view name) const {
  for (const auto& [n, v] : headers)
    if (n.size() == name.size() && strncasecmp(n.data(), name.data(), n.size()) == 0) return v;
  return std::nullopt;
}

Route WithBody(std::string body) {
  Route r;
  r.body = std::move(body);
  return r;
}

Route Redirect(int status, std::string location) {
  Route r = WithBody("moved");
  r.status = status;
  r.headers = {{"Location", std::move(location)}};
  return r;
}

char BodyByte(std::uint64_t offset) {
  return static_cast<char>(((offset * 0x9E3779B97F4A7C15ull) >> 56) ^ (offset >> 11));
}

std::string BodyBytes(std::uint64_t offset, std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = BodyByte(offset + i);
  return s;
}

struct TestHttpServer::Shared {
  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  std::map<std::string, Route> routes;
  std::vector<ReceivedRequest> requests;
  std::map<std::string, std::uint64_t> sent;
  std::set<int> fds;
  std::vector<std::thread> threads;
  bool stopping = false;
  int stop[2] = {-1, -1};  // readable once the server stops

  // Waits up to ms (-1: for ever) for fd to be readable; false once the server stops.
  bool Wait(int fd, int ms = -1) {
    pollfd p[2] = {{stop[0], POLLIN, 0}, {fd, POLLIN, 0}};
    return ::poll(p, fd < 0 ? 1 : 2, ms) >= 0 && p[0].revents == 0;
  }
};

TestHttpServer::TestHttpServer() : shared_(std::make_shared<Shared>()) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (::pipe2(shared_->stop, O_CLOEXEC) != 0 || listen_fd_ < 0 ||
      ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listen_fd_, 64) != 0 ||
      ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    std::perror("TestHttpServer");
    std::abort();
  }
  port_ = ntohs(addr.sin_port);
  acceptor_ = std::thread([this] {
    while (shared_->Wait(listen_fd_)) {
      int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
      std::lock_guard lock(shared_->mutex);
      if (fd < 0) continue;
      if (shared_->stopping) {
        ::close(fd);
        continue;
      }
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
    for (int fd : shared_->fds) ::shutdown(fd, SHUT_RDWR);
  }
  [[maybe_unused]] ssize_t w = ::write(shared_->stop[1], "x", 1);
  acceptor_.join();
  for (auto& t : shared_->threads) t.join();  // no thread is added any more
  ::close(listen_fd_);
  ::close(shared_->stop[0]);
  ::close(shared_->stop[1]);
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

bool TestHttpServer::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(shared_->mutex);
  return shared_->changed.wait_for(lock, timeout, [&] { return shared_->requests.size() >= count; });
}

std::uint64_t TestHttpServer::BodyBytesSent(const std::string& path) const {
  std::lock_guard lock(shared_->mutex);
  return shared_->sent.contains(path) ? shared_->sent.at(path) : 0;
}

void TestHttpServer::Serve(int fd) {
  Shared& s = *shared_;
  std::string pending;
  auto send_all = [fd](std::string_view data) {
    while (!data.empty()) {
      ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
      if (n <= 0) return false;
      data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  };
  // Holds the connection until the client closes it or the server stops.
  auto hold = [&] {
    char sink[4096];
    while (s.Wait(fd) && ::recv(fd, sink, sizeof sink, 0) > 0) {
    }
  };
  for (;;) {
    std::size_t end;
    while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
      char buf[4096];
      ssize_t n = s.Wait(fd) ? ::recv(fd, buf, sizeof buf, 0) : 0;
      if (n <= 0) return;
      pending.append(buf, static_cast<std::size_t>(n));
    }
    const std::string head = pending.substr(0, end);
    pending.erase(0, end + 4);
    ReceivedRequest req;
    std::size_t line_end = head.find("\r\n");
    req.request_line = head.substr(0, line_end);
    const std::size_t sp = req.request_line.find(' ');
    req.target = req.request_line.substr(sp + 1, req.request_line.rfind(' ') - sp - 1);
    while (line_end != std::string::npos) {
      const std::size_t start = line_end + 2;
      line_end = head.find("\r\n", start);
      const std::string line = head.substr(start, line_end - start);
      const std::size_t colon = line.find(':');
      const std::size_t value = line.find_first_not_of(" \t", colon + 1);
      if (colon != std::string::npos)
        req.headers.emplace_back(line.substr(0, colon), value == std::string::npos ? "" : line.substr(value, line.find_last_not_of(" \t") - value + 1));
    }
    std::string path = req.target;
    if (std::size_t scheme = path.find("://"); scheme != std::string::npos)
      path = path.substr(std::min(path.find('/', scheme + 3), path.size()));
    Route route = WithBody("not found");
    route.status = 404;
    {
      std::lock_guard lock(s.mutex);
      if (!s.routes.contains(path)) path = path.substr(0, path.find('?'));
      if (s.routes.contains(path)) route = s.routes.at(path);
      s.requests.push_back(req);
    }
    s.changed.notify_all();
    if (route.never_answer) return hold();
    if (route.header_delay.count() > 0 && !s.Wait(-1, static_cast<int>(route.header_delay.count())))
      return;

    const std::uint64_t size = route.generated_size.value_or(route.body.size());
    std::uint64_t first = 0, count = size;
    int status = route.status;
    std::string extra;
    const std::string range = req.Header("Range").value_or("");
    char* after = nullptr;
    if (route.honour_range && range.starts_with("bytes=") && std::isdigit(range[6])) {
      first = std::strtoull(range.c_str() + 6, &after, 10);
      std::uint64_t last = *after == '-' && after[1] ? std::strtoull(after + 1, nullptr, 10) : size - 1;
      status = first >= size ? 416 : 206;
      count = first >= size ? 0 : std::min(last, size - 1) - first + 1;
      extra = "Content-Range: bytes " + (first >= size ? "*" : std::to_string(first) + "-" + std::to_string(first + count - 1)) + "/" + std::to_string(size) + "\r\n";
      if (first >= size) first = 0;
    }
    const bool closes = !route.content_length || route.drop_after ||
                        strcasecmp(req.Header("Connection").value_or("").c_str(), "close") == 0;
    std::string out = "HTTP/1.1 " + std::to_string(status) + " Status\r\n";
    for (const auto& [n, v] : route.headers) out += n + ": " + v + "\r\n";
    out += extra;
    if (route.content_length) out += "Content-Length: " + std::to_string(count) + "\r\n";
    if (closes) out += "Connection: close\r\n";
    out += "\r\n";
    for (; route.header_drip.count() > 0 && out.size() > 300; out.erase(0, 300))
      if (!send_all(out.substr(0, 300)) || !s.Wait(-1, static_cast<int>(route.header_drip.count()))) return;
    if (!send_all(out)) return;
    std::uint64_t limit = std::min({count, route.stall_after.value_or(count), route.drop_after.value_or(count)});
    if (req.request_line.starts_with("HEAD ")) limit = count = 0;
    for (std::uint64_t sent = 0; sent < limit;) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(limit - sent, 65536));
      if (!send_all(route.generated_size ? BodyBytes(first + sent, n) : route.body.substr(first + sent, n))) return;
      sent += n;
      std::lock_guard lock(s.mutex);
      s.sent[path] += n;
    }
    if (limit < count && route.stall_after) return hold();
    if (closes || limit < count) return;
  }
}

}  // namespace zenpo::test
