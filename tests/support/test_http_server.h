// A programmable HTTP/1.1 server on 127.0.0.1 for tests: routes with faults, recorded
// requests. Routes match the target's path (an absolute target, as sent to a proxy, by
// its path too; the query only when a route names it); unknown paths get 404.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace zenpo::test {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct ReceivedRequest {
  std::string request_line;  // "GET /d/f.zip HTTP/1.1"
  std::string target;        // "/d/f.zip", or to a proxy "http://h/d/f.zip"
  HeaderList headers;
  // The first header of that name (any case), trimmed; nullopt when absent.
  std::optional<std::string> Header(std::string_view name) const;
};

struct Route {
  int status = 200;
  HeaderList headers;
  std::string body;
  std::optional<std::uint64_t> generated_size;  // serve BodyBytes instead of body
  bool honour_range = false;   // "bytes=N-[M]" gets 206, or 416 past the end
  bool content_length = true;  // without it the body ends with the connection
  std::chrono::milliseconds header_delay{0};
  bool never_answer = false;                // reads the request, then holds the line
  std::optional<std::uint64_t> stall_after;  // body bytes, then silence
  std::optional<std::uint64_t> drop_after;   // body bytes, then close
  std::chrono::milliseconds header_drip{0};  // headers sent 300 bytes per pause
};

Route WithBody(std::string body);
Route Redirect(int status, std::string location);

// The generated body: differs at every offset, so a misplaced chunk shows.
char BodyByte(std::uint64_t offset);
std::string BodyBytes(std::uint64_t offset, std::size_t size);

// Listens at once; every member may be called from any thread. The destructor wakes
// stalled connections and joins every thread.
class TestHttpServer {
 public:
  TestHttpServer();
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  std::uint16_t port() const { return port_; }
  std::string HostPort() const { return "127.0.0.1:" + std::to_string(port_); }
  std::string Url(std::string_view path) const { return "http://" + HostPort() + std::string(path); }
  std::wstring WideUrl(std::string_view path) const;

  void SetRoute(const std::string& path, Route route);
  std::vector<ReceivedRequest> Requests() const;
  std::size_t RequestCount() const { return Requests().size(); }
  bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
  // Body bytes sent so far on path, all requests together.
  std::uint64_t BodyBytesSent(const std::string& path) const;

 private:
  struct Shared;
  void Serve(int fd);
  std::uint16_t port_ = 0;
  int listen_fd_ = -1;
  std::shared_ptr<Shared> shared_;
  std::thread acceptor_;
};

}  // namespace zenpo::test
