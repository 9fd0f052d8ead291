// TestHttpServer on POSIX sockets: one acceptor thread, one thread per connection.
#include "support/test_http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

namespace zenpo::test {

namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string Trim(std::string_view s) {
  std::size_t b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return "";
  std::size_t e = s.find_last_not_of(" \t");
  return std::string(s.substr(b, e - b + 1));
}

const char* Reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 416: return "Range Not Satisfiable";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
  }
}

// The path a route is looked up by: the target without scheme and authority.
std::string PathOf(const std::string& target) {
  std::string t = target;
  if (std::size_t scheme = t.find("://"); scheme != std::string::npos) {
    std::size_t slash = t.find('/', scheme + 3);
    t = slash == std::string::npos ? "/" : t.substr(slash);
  }
  return t;
}

// "bytes=N-" or "bytes=N-M"; anything else is not a range the server understands.
bool ParseRange(const std::string& value, std::uint64_t* first, std::optional<std::uint64_t>* last) {
  if (value.rfind("bytes=", 0) != 0) return false;
  std::string range_text = value.substr(6);
  std::size_t dash = range_text.find('-');
  if (dash == 0 || dash == std::string::npos) return false;
  char* end = nullptr;
  *first = std::strtoull(range_text.c_str(), &end, 10);
  if (end != range_text.c_str() + dash) return false;
  std::string tail = range_text.substr(dash + 1);
  if (tail.empty()) {
    last->reset();
    return true;
  }
  *last = std::strtoull(tail.c_str(), &end, 10);
  return *end == '\0' && **last >= *first;
}

}  // namespace

std::optional<std::string> ReceivedRequest::Header(std::string_view name) const {
  for (const auto& [n, v] : headers)
    if (EqualsNoCase(n, name)) return v;
  return std::nullopt;
}

Route WithBody(std::string body) {
  Route r;
  r.body = std::move(body);
  return r;
}

Route Redirect(int status, std::string location) {
  Route r;
  r.status = status;
  r.headers = {{"Location", std::move(location)}};
  r.body = "moved";
  return r;
}

char BodyByte(std::uint64_t offset) {
  // Changes with every byte and does not repeat at any power of two, so a chunk written
  // at the wrong offset shows.
  std::uint64_t x = offset * 0x9E3779B97F4A7C15ull;
  return static_cast<char>((x >> 56) ^ (offset >> 11));
}

std::string BodyBytes(std::uint64_t offset, std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = BodyByte(offset + i);
  return s;
}

struct TestHttpServer::Shared {
  mutable std::mutex mutex;
  mutable std::condition_variable requests_changed;
  std::map<std::string, Route> routes;
  std::vector<ReceivedRequest> requests;
  std::map<std::string, std::uint64_t> bytes_sent;
  std::set<int> open_fds;
  std::vector<std::thread> connections;
  int connection_count = 0;
  bool stopping = false;
  int stop_pipe[2] = {-1, -1};  // readable once the server stops

  // Waits until fd is readable or the server stops; false once the server stops.
  bool WaitReadable(int fd) {
    pollfd fds[2] = {{stop_pipe[0], POLLIN, 0}, {fd, POLLIN, 0}};
    int n = ::poll(fds, 2, -1);
    if (n <= 0) return false;
    return fds[0].revents == 0;
  }

  // Sleeps for delay; true when the server stopped meanwhile.
  bool Sleep(std::chrono::milliseconds delay) {
    pollfd fds[1] = {{stop_pipe[0], POLLIN, 0}};
    return ::poll(fds, 1, static_cast<int>(delay.count())) > 0;
  }

  void AddSent(const std::string& path, std::uint64_t n) {
    std::lock_guard lock(mutex);
    bytes_sent[path] += n;
  }
};

TestHttpServer::TestHttpServer() : shared_(std::make_shared<Shared>()) {
  if (::pipe2(shared_->stop_pipe, O_CLOEXEC) != 0) {
    std::perror("TestHttpServer: pipe2");
    std::abort();
  }
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (listen_fd_ < 0 || ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listen_fd_, 64) != 0 ||
      ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    std::perror("TestHttpServer: listen on 127.0.0.1");
    std::abort();
  }
  port_ = ntohs(addr.sin_port);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

TestHttpServer::~TestHttpServer() {
  std::vector<std::thread> connections;
  {
    std::lock_guard lock(shared_->mutex);
    shared_->stopping = true;
    // Wakes blocked sends and reads; polls see the pipe.
    for (int fd : shared_->open_fds) ::shutdown(fd, SHUT_RDWR);
  }
  char one = 1;
  [[maybe_unused]] ssize_t w = ::write(shared_->stop_pipe[1], &one, 1);
  acceptor_.join();
  {
    std::lock_guard lock(shared_->mutex);
    connections.swap(shared_->connections);
  }
  for (auto& t : connections) t.join();
  ::close(listen_fd_);
  ::close(shared_->stop_pipe[0]);
  ::close(shared_->stop_pipe[1]);
}

std::string TestHttpServer::HostPort() const { return "127.0.0.1:" + std::to_string(port_); }

std::string TestHttpServer::Url(std::string_view path) const {
  return "http://" + HostPort() + std::string(path);
}

std::wstring TestHttpServer::WideUrl(std::string_view path) const {
  std::wstring wide;
  for (unsigned char c : Url(path)) wide += static_cast<wchar_t>(c);
  return wide;
}

void TestHttpServer::SetRoute(const std::string& path, Route route) {
  std::lock_guard lock(shared_->mutex);
  shared_->routes[path] = std::move(route);
}

std::vector<ReceivedRequest> TestHttpServer::Requests() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->requests;
}

std::size_t TestHttpServer::RequestCount() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->requests.size();
}

bool TestHttpServer::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(shared_->mutex);
  return shared_->requests_changed.wait_for(lock, timeout,
                                            [&] { return shared_->requests.size() >= count; });
}

std::uint64_t TestHttpServer::BodyBytesSent(const std::string& path) const {
  std::lock_guard lock(shared_->mutex);
  auto it = shared_->bytes_sent.find(path);
  return it == shared_->bytes_sent.end() ? 0 : it->second;
}

int TestHttpServer::ConnectionCount() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->connection_count;
}

void TestHttpServer::AcceptLoop() {
  for (;;) {
    if (!shared_->WaitReadable(listen_fd_)) return;
    int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    std::lock_guard lock(shared_->mutex);
    if (shared_->stopping) {
      ::close(fd);
      return;
    }
    shared_->open_fds.insert(fd);
    ++shared_->connection_count;
    shared_->connections.emplace_back([this, fd] {
      Serve(fd);
      std::lock_guard lock(shared_->mutex);
      shared_->open_fds.erase(fd);
      ::close(fd);
    });
  }
}

void TestHttpServer::Serve(int fd) {
  Shared& s = *shared_;
  std::string pending;  // bytes read past the previous request
  auto send_all = [&](const char* data, std::size_t size) {
    while (size > 0) {
      ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
      if (n <= 0) return false;
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  };
  // Holds the connection open until the client closes it or the server stops.
  auto hold = [&] {
    char sink[4096];
    while (s.WaitReadable(fd))
      if (::recv(fd, sink, sizeof sink, 0) <= 0) return;
  };

  for (;;) {
    std::size_t head_end;
    while ((head_end = pending.find("\r\n\r\n")) == std::string::npos) {
      if (!s.WaitReadable(fd)) return;
      char buf[4096];
      ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) return;
      pending.append(buf, static_cast<std::size_t>(n));
    }
    std::string head = pending.substr(0, head_end);
    pending.erase(0, head_end + 4);

    ReceivedRequest req;
    std::size_t line_end = head.find("\r\n");
    req.request_line = head.substr(0, line_end);
    {
      std::size_t sp1 = req.request_line.find(' ');
      std::size_t sp2 = req.request_line.find(' ', sp1 + 1);
      req.method = req.request_line.substr(0, sp1);
      if (sp1 != std::string::npos) req.target = req.request_line.substr(sp1 + 1, sp2 - sp1 - 1);
    }
    while (line_end != std::string::npos) {
      std::size_t start = line_end + 2;
      line_end = head.find("\r\n", start);
      std::string line = head.substr(start, line_end == std::string::npos ? std::string::npos
                                                                          : line_end - start);
      std::size_t colon = line.find(':');
      if (colon != std::string::npos)
        req.headers.emplace_back(line.substr(0, colon), Trim(line.substr(colon + 1)));
    }
    // A request body (none is expected) is skipped.
    if (auto cl = req.Header("Content-Length")) {
      std::size_t want = std::strtoull(cl->c_str(), nullptr, 10);
      while (pending.size() < want) {
        if (!s.WaitReadable(fd)) return;
        char buf[4096];
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return;
        pending.append(buf, static_cast<std::size_t>(n));
      }
      pending.erase(0, want);
    }

    std::string path = PathOf(req.target);
    std::string path_only = path.substr(0, path.find('?'));
    bool client_closes = EqualsNoCase(req.Header("Connection").value_or(""), "close");
    bool head_only = req.method == "HEAD";
    Route route;
    bool found = false;
    {
      std::lock_guard lock(s.mutex);
      auto it = s.routes.find(path);
      if (it == s.routes.end()) it = s.routes.find(path_only);
      if (it != s.routes.end()) {
        route = it->second;
        found = true;
      }
      s.requests.push_back(req);
    }
    s.requests_changed.notify_all();
    if (!found) {
      route.status = 404;
      route.body = "not found";
    }
    const std::string& count_key = found ? path : path_only;

    if (route.never_answer) return hold();
    if (route.header_delay.count() > 0 && s.Sleep(route.header_delay)) return;

    std::uint64_t size = route.generated_size ? *route.generated_size : route.body.size();
    std::uint64_t first = 0, count = size;
    int status = route.status;
    std::string extra;
    std::uint64_t range_first = 0;
    std::optional<std::uint64_t> range_last;
    if (route.honour_range && ParseRange(req.Header("Range").value_or(""), &range_first, &range_last)) {
      if (range_first >= size) {
        status = 416;
        count = 0;
        extra = "Content-Range: bytes */" + std::to_string(size) + "\r\n";
      } else {
        std::uint64_t last = std::min(range_last.value_or(size - 1), size - 1);
        status = 206;
        first = range_first;
        count = last - first + 1;
        extra = "Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) +
                "/" + std::to_string(size) + "\r\n";
      }
    }
    bool fault = route.stall_after || route.drop_after;
    bool closes = client_closes || !route.content_length || route.drop_after;

    std::string out = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\n";
    for (const auto& [n, v] : route.headers) out += n + ": " + v + "\r\n";
    out += extra;
    if (route.content_length) out += "Content-Length: " + std::to_string(count) + "\r\n";
    if (closes) out += "Connection: close\r\n";
    out += "\r\n";
    while (route.header_drip.count() > 0 && out.size() > 300) {
      if (!send_all(out.data(), 300) || s.Sleep(route.header_drip)) return;
      out.erase(0, 300);
    }
    if (!send_all(out.data(), out.size())) return;

    std::uint64_t limit = count;
    if (route.stall_after) limit = std::min(limit, *route.stall_after);
    if (route.drop_after) limit = std::min(limit, *route.drop_after);
    if (head_only) limit = 0;
    std::uint64_t sent = 0;
    std::string chunk;
    while (sent < limit) {
      std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(limit - sent, 65536));
      const char* data;
      if (route.generated_size) {
        chunk = BodyBytes(first + sent, n);
        data = chunk.data();
      } else {
        data = route.body.data() + first + sent;
      }
      if (!send_all(data, n)) return;
      sent += n;
      s.AddSent(count_key, n);
    }
    if (route.stall_after && !head_only && limit < count) return hold();
    if (closes || (fault && limit < count)) return;
  }
}

}  // namespace zenpo::test
