// A programmable HTTP/1.1 server on 127.0.0.1 for tests: routes with faults, recorded
// requests. Routes match the request target exactly; unknown targets get 404.
#pragma once

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
  std::string target;        // "/d/f.zip"
  HeaderList headers;
  // The first header of that name (any case), without the blanks before it; nullopt when absent.
  std::optional<std::string> Header(std::string_view name) const;
};

// Every member has an initializer, so a designated initializer may name any few.
struct Route {
  int status = 200;
  HeaderList headers{};
  std::string body{};
  std::optional<std::uint64_t> generated_size{};  // serve BodyBytes instead of body
  bool honour_range = false;   // "bytes=N-" gets 206, or 416 past the end
  bool content_length = true;  // without it the body ends with the connection
  bool never_answer = false;                   // reads the request, then holds the line
  std::optional<std::uint64_t> stall_after{};  // body bytes, then silence
  std::optional<std::uint64_t> drop_after{};   // body bytes, then close
};

inline Route WithBody(std::string body) { return {.body = std::move(body)}; }
inline Route Redirect(int status, std::string location) {
  return {.status = status, .headers = {{"Location", std::move(location)}}, .body = "moved"};
}

// The generated body from offset on: differs at every offset, so a misplaced chunk shows.
std::string BodyBytes(std::uint64_t offset, std::size_t size);

// Listens at once; every member may be called from any thread. The destructor shuts
// every connection down, which wakes stalled ones, and joins every thread.
class TestHttpServer {
 public:
  TestHttpServer();
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  std::uint16_t port() const { return port_; }
  std::string Url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
  }
  std::wstring WideUrl(std::string_view path) const;

  void SetRoute(const std::string& path, Route route);
  std::vector<ReceivedRequest> Requests() const;
  std::size_t RequestCount() const { return Requests().size(); }

 private:
  struct Shared;
  void Serve(int fd);
  std::uint16_t port_ = 0;
  int listen_fd_ = -1;
  std::shared_ptr<Shared> shared_;
  std::thread acceptor_;
};

}  // namespace zenpo::test
