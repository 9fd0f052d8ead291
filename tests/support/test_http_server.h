// A programmable HTTP/1.1 server on 127.0.0.1 for tests: routes with faults, recorded
// requests, one thread and one request per connection. Unknown targets get 404.
#pragma once

#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace zenpo::test {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct ReceivedRequest {
  std::string request_line;  // "GET /d/f.zip HTTP/1.1"
  std::string target;        // "/d/f.zip"
  HeaderList headers;
  std::optional<std::string> Header(const std::string& name) const {  // the first of that name, any case
    for (const auto& [n, v] : headers) if (strcasecmp(n.c_str(), name.c_str()) == 0) return v;
    return std::nullopt;
  }
};

struct Route {
  int status = 200;
  HeaderList headers{};
  std::string body{};
  std::optional<std::uint64_t> generated_size{};  // serve BodyBytes instead of body
  bool honour_range = false;   // "bytes=N-" gets 206, or 416 past the end
  bool content_length = true;  // without it the body ends with the connection
  bool never_answer = false;   // reads the request, then holds the line
  std::optional<std::uint64_t> stall_after{};  // body bytes, then silence
  std::optional<std::uint64_t> drop_after{};   // body bytes, then close
};

inline Route WithBody(std::string body) { return {.body = std::move(body)}; }
inline Route Redirect(int status, std::string location) { return {status, {{"Location", std::move(location)}}, "moved"}; }

// The generated body from offset on: differs at every offset, so a misplaced chunk shows.
inline std::string BodyBytes(std::uint64_t offset, std::size_t size) {
  std::string s(size, '\0');
  for (std::uint64_t i = offset; i < offset + size; ++i)
    s[i - offset] = static_cast<char>(((i * 0x9E3779B97F4A7C15ull) >> 56) ^ (i >> 11));
  return s;
}

// Every member may be called from any thread.
class TestHttpServer {
 public:
  TestHttpServer() {
    sockaddr_in addr{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
    socklen_t len = sizeof addr;
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listen_fd_ < 0 || ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listen_fd_, 64) != 0 || ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
      std::perror("TestHttpServer"), std::abort();
    port_ = ntohs(addr.sin_port);
    acceptor_ = std::jthread([this] {
      for (;;) {
        const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        std::lock_guard lock(mutex_);
        if (stopping_ && fd >= 0) ::close(fd);
        if (stopping_) return (void)::close(listen_fd_);
        if (fd < 0) continue;
        fds_.insert(fd);
        threads_.emplace_back([this, fd] {
          Serve(fd);
          std::lock_guard lock(mutex_);
          fds_.erase(fd);
          ::close(fd);
        });
      }
    });
  }
  // Wakes every stalled connection; the members then join the acceptor, then the rest.
  ~TestHttpServer() {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    ::shutdown(listen_fd_, SHUT_RDWR);
    for (int fd : fds_) ::shutdown(fd, SHUT_RDWR);
  }

  std::uint16_t port() const { return port_; }
  std::string Url(std::string_view path) const { return "http://127.0.0.1:" + std::to_string(port_) + std::string(path); }
  std::wstring WideUrl(std::string_view path) const { const std::string u = Url(path); return {u.begin(), u.end()}; }
  void SetRoute(const std::string& path, Route route) { std::lock_guard lock(mutex_); routes_[path] = std::move(route); }
  std::vector<ReceivedRequest> Requests() const { std::lock_guard lock(mutex_); return requests_; }
  std::size_t RequestCount() const { return Requests().size(); }

 private:
  void Serve(int fd) {
    auto send_all = [fd](std::string_view data) {
      for (ssize_t n = 0; !data.empty(); data.remove_prefix(static_cast<std::size_t>(n)))
        if ((n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL)) <= 0) return false;
      return true;
    };
    char buf[4096];
    auto hold = [&] { while (::recv(fd, buf, sizeof buf, 0) > 0) {} };
    std::string text;
    for (ssize_t n; text.find("\r\n\r\n") == std::string::npos; text.append(buf, static_cast<std::size_t>(n)))
      if ((n = ::recv(fd, buf, sizeof buf, 0)) <= 0) return;
    std::istringstream head(text.substr(0, text.find("\r\n\r\n")));
    ReceivedRequest req;
    for (std::string line; std::getline(head, line);) {
      if (line.ends_with('\r')) line.pop_back();
      const std::size_t colon = line.find(':');
      if (req.request_line.empty()) req.request_line = line;
      else if (colon != std::string::npos)
        req.headers.emplace_back(line.substr(0, colon), line.substr(std::min(line.find_first_not_of(' ', colon + 1), line.size())));
    }
    const std::size_t sp = req.request_line.find(' ');
    req.target = req.request_line.substr(sp + 1, req.request_line.rfind(' ') - sp - 1);
    Route route{.status = 404, .body = "not found"};
    std::unique_lock lock(mutex_);
    if (routes_.contains(req.target)) route = routes_.at(req.target);
    requests_.push_back(req);
    lock.unlock();
    if (route.never_answer) return hold();

    const std::uint64_t size = route.generated_size.value_or(route.body.size());
    std::uint64_t first = 0;
    std::string out = "HTTP/1.1 " + std::to_string(route.status) + " Status\r\n";
    if (const std::string range = req.Header("Range").value_or(""); route.honour_range && range.starts_with("bytes=")) {
      first = std::min<std::uint64_t>(std::stoull(range.substr(6)), size);
      out = first < size ? "HTTP/1.1 206 Status\r\nContent-Range: bytes " + std::to_string(first) + "-" + std::to_string(size - 1)
                         : "HTTP/1.1 416 Status\r\nContent-Range: bytes *";
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

  std::uint16_t port_ = 0;
  int listen_fd_ = -1;
  mutable std::mutex mutex_;
  std::map<std::string, Route> routes_;
  std::vector<ReceivedRequest> requests_;
  std::set<int> fds_;  // open connections
  std::vector<std::jthread> threads_;
  bool stopping_ = false;
  std::jthread acceptor_;
};

}  // namespace zenpo::test
