// The HTTP client service against the loopback test server, nginx and tinyproxy.
#include "platform/inet.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/worker_thread.h"
#include "support/nginx_server.h"
#include "support/temp_dir.h"
#include "support/test_http_server.h"
#include "support/tinyproxy_server.h"

namespace zenpo::platform {
namespace {

using namespace std::chrono_literals;
using test::BodyBytes;
using test::Route;
using test::TestHttpServer;

// Long enough never to be reached by a call that returns as it should; a call still
// pending after this is a hang.
constexpr auto kHang = 10s;

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::string Narrow(const std::wstring& s) { return std::string(s.begin(), s.end()); }

HINTERNET OpenRoot() {
  return InternetOpen(L"ZenpoTest/1.0", InternetAccess::kDirect, L"", L"");
}

std::string Query(const HINTERNET& request, int level) {
  std::wstring text;
  HttpQueryInfo(request, level, &text);
  return Narrow(text);
}

// Reads the whole body in reads of chunk bytes; false when a read fails or returns more
// than asked.
bool ReadAll(const HINTERNET& request, std::uint32_t chunk, std::string* body) {
  std::vector<char> buffer(chunk);
  for (;;) {
    std::uint32_t n = 0;
    if (!InternetReadFile(request, buffer.data(), chunk, &n) || n > chunk) return false;
    if (n == 0) return true;
    body->append(buffer.data(), n);
  }
}

class InetTest : public ::testing::Test {
 protected:
  HINTERNET Open(const std::string& path, const std::wstring& headers = L"") {
    return InternetOpenUrl(root_, server_.WideUrl(path), headers);
  }

  // A request whose body stops after the first 10 of its 100 bytes, those 10 read.
  HINTERNET OpenStalled() {
    Route route;
    route.body = std::string(100, 'x');
    route.stall_after = 10;
    server_.SetRoute("/stall", route);
    HINTERNET request = Open("/stall");
    char buffer[100];
    std::uint32_t n = 0;
    if (!request || !InternetReadFile(request, buffer, sizeof buffer, &n) || n != 10) {
      ADD_FAILURE() << "the first 10 bytes did not come";
      return nullptr;
    }
    return request;
  }

  TestHttpServer server_;
  HINTERNET root_ = OpenRoot();
};

TEST_F(InetTest, SendsTheHeaderBlockAndTheAgent) {
  server_.SetRoute("/d/f.zip", Route{});
  HINTERNET request = Open("/d/f.zip",
                           L"Accept: */*\r\nReferer: http://ref.example/p\r\nRange: bytes=512-\r\n"
                           L"Authorization: Basic dXNlcjpwYXNz\r\n");
  ASSERT_TRUE(request);
  auto sent = server_.Requests();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].request_line, "GET /d/f.zip HTTP/1.1");
  EXPECT_EQ(sent[0].Header("Accept"), "*/*");
  EXPECT_EQ(sent[0].Header("Referer"), "http://ref.example/p");
  EXPECT_EQ(sent[0].Header("Range"), "bytes=512-");
  EXPECT_EQ(sent[0].Header("Authorization"), "Basic dXNlcjpwYXNz");
  EXPECT_EQ(sent[0].Header("User-Agent"), "ZenpoTest/1.0");
  // Nothing the server could answer in another encoding or from a stored copy.
  EXPECT_FALSE(sent[0].Header("Accept-Encoding"));
  EXPECT_FALSE(sent[0].Header("If-Modified-Since"));
  EXPECT_FALSE(sent[0].Header("Cookie"));
}

TEST_F(InetTest, UnsafeUrlCharactersAreEscapedNotSentRaw) {
  server_.SetRoute("/a%20b/%E3%81%82", Route{});
  ASSERT_TRUE(InternetOpenUrl(root_, server_.WideUrl("/a b/") + L"\u3042", L""));
  EXPECT_EQ(server_.Requests().at(0).target, "/a%20b/%E3%81%82");
}

TEST_F(InetTest, QueriesAnswerFromTheFinalResponse) {
  Route route;
  route.body = "0123456789";
  route.honour_range = true;
  route.headers = {{"X-Extra", "  padded  "}};
  server_.SetRoute("/f", route);

  HINTERNET partial = Open("/f", L"Range: bytes=4-\r\n");
  ASSERT_TRUE(partial);
  EXPECT_EQ(Query(partial, inet_query::kStatusCode), "206");
  EXPECT_EQ(Query(partial, inet_query::kContentRange), "bytes 4-9/10");
  EXPECT_EQ(Query(partial, inet_query::kContentLength), "6");
  std::string raw = Query(partial, inet_query::kRawHeadersCrlf);
  EXPECT_EQ(raw.rfind("HTTP/1.1 206 Partial Content\r\n", 0), 0u) << raw;
  EXPECT_NE(raw.find("\r\nX-Extra:   padded\r\n"), std::string::npos) << raw;
  EXPECT_EQ(raw.substr(raw.size() - 4), "\r\n\r\n");
  EXPECT_EQ(raw.find("\n\n"), std::string::npos);
  CalendarTime t;
  std::string body;
  ASSERT_TRUE(ReadAll(partial, 4096, &body));
  EXPECT_EQ(body, "456789");

  // Absent values fail and leave the text empty; unknown levels fail.
  route.honour_range = false;
  route.headers.clear();
  server_.SetRoute("/f", route);
  HINTERNET whole = Open("/f", L"Range: bytes=4-\r\n");
  ASSERT_TRUE(whole);
  EXPECT_EQ(Query(whole, inet_query::kStatusCode), "200");
  std::wstring text = L"stale";
  EXPECT_FALSE(HttpQueryInfo(whole, inet_query::kContentRange, &text));
  EXPECT_EQ(text, L"");
  EXPECT_FALSE(HttpQueryInfo(whole, 12345, &text));
  EXPECT_FALSE(HttpQueryLastModified(whole, &t));
  EXPECT_FALSE(HttpQueryInfo(root_, inet_query::kStatusCode, &text));
}

TEST_F(InetTest, LastModifiedInEveryHttpDateFormOrNone) {
  const std::pair<const char*, bool> cases[] = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", true},
      {"Sunday, 06-Nov-94 08:49:37 GMT", true},
      {"Sun Nov  6 08:49:37 1994", true},
      {"yesterday", false},
      {"", false},
  };
  for (const auto& [value, parses] : cases) {
    Route route;
    route.headers = {{"Last-Modified", value}};
    server_.SetRoute("/f", route);
    HINTERNET request = Open("/f");
    ASSERT_TRUE(request);
    CalendarTime t;
    EXPECT_EQ(HttpQueryLastModified(request, &t), parses) << value;
    if (parses) {
      EXPECT_EQ(CalendarToFileTime(t), CalendarToFileTime({1994, 11, 6, 8, 49, 37, 0})) << value;
    }
  }
}

TEST_F(InetTest, ReadsGiveAtMostTheSizeAskedAndThenTheEnd) {
  Route route;
  route.generated_size = 300000;
  server_.SetRoute("/big", route);
  for (std::uint32_t chunk : {7u, 4096u, 20480u, 1u << 20}) {
    SCOPED_TRACE(chunk);
    HINTERNET request = Open("/big");
    ASSERT_TRUE(request);
    std::string body;
    ASSERT_TRUE(ReadAll(request, chunk, &body));
    EXPECT_EQ(body, BodyBytes(0, 300000));
    // The end stays the end.
    char c;
    std::uint32_t n = 99;
    EXPECT_TRUE(InternetReadFile(request, &c, 1, &n));
    EXPECT_EQ(n, 0u);
  }
}

TEST_F(InetTest, EmptyBodiesAndErrorStatusesStillOpen) {
  Route empty;
  server_.SetRoute("/empty", empty);
  HINTERNET request = Open("/empty");
  ASSERT_TRUE(request);
  std::string body;
  EXPECT_TRUE(ReadAll(request, 100, &body));
  EXPECT_EQ(body, "");

  // Any status is an answer; the caller judges it.
  HINTERNET missing = Open("/nothing/here");
  ASSERT_TRUE(missing);
  EXPECT_EQ(Query(missing, inet_query::kStatusCode), "404");
  ASSERT_TRUE(ReadAll(missing, 100, &body));
  EXPECT_EQ(body, "not found");
}

TEST_F(InetTest, FollowsRedirectsToTheFinalResponse) {
  Route target;
  target.body = "payload";
  target.headers = {{"Last-Modified", "Sun, 06 Nov 1994 08:49:37 GMT"}};
  server_.SetRoute("/final", target);
  server_.SetRoute("/r1", test::Redirect(301, server_.Url("/r2")));
  server_.SetRoute("/r2", test::Redirect(302, "/r3"));
  server_.SetRoute("/r3", test::Redirect(307, "final"));

  HINTERNET request = Open("/r1", L"Accept: */*\r\nRange: bytes=0-\r\n");
  ASSERT_TRUE(request);
  EXPECT_EQ(Query(request, inet_query::kStatusCode), "200");
  EXPECT_EQ(Query(request, inet_query::kContentLength), "7");
  EXPECT_EQ(Query(request, inet_query::kRawHeadersCrlf).find("Location"), std::string::npos);
  std::string body;
  ASSERT_TRUE(ReadAll(request, 20480, &body));
  EXPECT_EQ(body, "payload");
  auto sent = server_.Requests();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[3].target, "/final");
  EXPECT_EQ(sent[3].Header("Range"), "bytes=0-");

  server_.SetRoute("/loop", test::Redirect(302, "/loop"));
  EXPECT_FALSE(Open("/loop"));

  // Credentials stay with the server first asked.
  const std::string elsewhere = "http://localhost:" + std::to_string(server_.port());
  server_.SetRoute("/away", test::Redirect(302, elsewhere + "/final"));
  ASSERT_TRUE(Open("/away", L"Authorization: Basic dXNlcjpwYXNz\r\n"));
  sent = server_.Requests();
  EXPECT_TRUE(sent[sent.size() - 2].Header("Authorization"));
  EXPECT_FALSE(sent.back().Header("Authorization"));
}

TEST_F(InetTest, FailsToOpenWhatCannotAnswer) {
  std::uint16_t closed_port;
  {
    TestHttpServer gone;
    closed_port = gone.port();
  }
  EXPECT_FALSE(InternetOpenUrl(root_, Wide("http://127.0.0.1:" + std::to_string(closed_port) + "/"), L""));
  EXPECT_FALSE(InternetOpenUrl(root_, L"not a url", L""));
  EXPECT_FALSE(InternetOpenUrl(root_, L"file:///etc/passwd", L""));
  EXPECT_FALSE(InternetOpenUrl(nullptr, server_.WideUrl("/"), L""));
  // A response whose headers never end is refused, not collected.
  Route flood;
  for (int i = 0; i < 5000; ++i) flood.headers.emplace_back("X-Flood-" + std::to_string(i), std::string(100, 'f'));
  server_.SetRoute("/flood", flood);
  EXPECT_FALSE(Open("/flood"));
}

TEST_F(InetTest, ABodyCutShortEndsLikeACompleteOne) {
  // The caller compares the size it got with the size announced and resumes later.
  Route route;
  route.generated_size = 200000;
  route.drop_after = 50000;
  server_.SetRoute("/drop", route);
  HINTERNET request = Open("/drop");
  ASSERT_TRUE(request);
  std::string body;
  ASSERT_TRUE(ReadAll(request, 20480, &body));
  EXPECT_EQ(body, BodyBytes(0, 50000));

  // Without a length the end of the connection is the end of the body.
  route.content_length = false;
  route.drop_after.reset();
  server_.SetRoute("/drop", route);
  request = Open("/drop");
  ASSERT_TRUE(request);
  EXPECT_EQ(Query(request, inet_query::kContentLength), "");
  body.clear();
  ASSERT_TRUE(ReadAll(request, 20480, &body));
  EXPECT_EQ(body.size(), 200000u);
}

TEST_F(InetTest, AChunkedBodyCutShortIsAnError) {
  // Without a length the caller could not tell a cut body from a whole one.
  Route route;
  route.headers = {{"Transfer-Encoding", "chunked"}};
  route.content_length = false;
  route.body = "5\r\nhello\r\n5\r\nworld\r\n0\r\n\r\n";
  server_.SetRoute("/chunked", route);
  HINTERNET whole = Open("/chunked");
  ASSERT_TRUE(whole);
  std::string body;
  ASSERT_TRUE(ReadAll(whole, 100, &body));
  EXPECT_EQ(body, "helloworld");

  route.body = "5\r\nhello\r\n5\r\nwor";
  server_.SetRoute("/chunked", route);
  HINTERNET cut = Open("/chunked");
  ASSERT_TRUE(cut);
  body.clear();
  EXPECT_FALSE(ReadAll(cut, 100, &body));
  // What arrived is handed over before the error.
  EXPECT_EQ(body.substr(0, 5), "hello");
}

TEST_F(InetTest, CloseCancelsAPendingReadAndLaterCallsFail) {
  HINTERNET request = OpenStalled();
  ASSERT_TRUE(request);

  auto ok = std::make_shared<std::atomic<int>>(-1);
  auto worker = WorkerThread::Start([request, ok] {
    char b[100];
    std::uint32_t got = 0;
    *ok = InternetReadFile(request, b, sizeof b, &got) ? 1 : 0;
  });
  EXPECT_FALSE(worker.WaitFor(200ms));  // blocked on the stalled body
  EXPECT_TRUE(InternetCloseHandle(request));
  ASSERT_TRUE(worker.WaitFor(kHang));
  EXPECT_EQ(*ok, 0);

  char buffer[100];
  std::uint32_t n = 0;
  EXPECT_FALSE(InternetCloseHandle(request));
  EXPECT_FALSE(InternetReadFile(request, buffer, sizeof buffer, &n));
  std::wstring text;
  EXPECT_FALSE(HttpQueryInfo(request, inet_query::kStatusCode, &text));
  EXPECT_FALSE(InternetCloseHandle(nullptr));
  // The root stays usable for further requests.
  server_.SetRoute("/ok", Route{});
  EXPECT_TRUE(Open("/ok"));
}

TEST_F(InetTest, ClosingTheRootCancelsAPendingOpenAndClosesItsRequests) {
  Route silent;
  silent.never_answer = true;
  server_.SetRoute("/silent", silent);
  server_.SetRoute("/ok", test::WithBody("ok"));
  HINTERNET earlier = Open("/ok");
  ASSERT_TRUE(earlier);

  auto opened = std::make_shared<std::atomic<int>>(-1);
  auto worker = WorkerThread::Start([root = root_, url = server_.WideUrl("/silent"), opened] {
    *opened = InternetOpenUrl(root, url, L"") ? 1 : 0;
  });
  ASSERT_TRUE(server_.WaitForRequests(2, kHang));
  EXPECT_FALSE(worker.HasEnded());
  EXPECT_TRUE(InternetCloseHandle(root_));
  ASSERT_TRUE(worker.WaitFor(kHang));
  EXPECT_EQ(*opened, 0);

  char c;
  std::uint32_t n;
  EXPECT_FALSE(InternetReadFile(earlier, &c, 1, &n));
  EXPECT_FALSE(InternetCloseHandle(earlier));
  EXPECT_FALSE(InternetCloseHandle(root_));
  EXPECT_FALSE(Open("/ok"));
  EXPECT_FALSE(InternetSetOption(root_, inet_option::kConnectTimeout, 4000));
}

TEST_F(InetTest, OptionsBelongToTheRoot) {
  EXPECT_TRUE(InternetSetOption(root_, inet_option::kConnectRetries, 4000));
  EXPECT_FALSE(InternetSetOption(root_, 9999, 1));
  EXPECT_FALSE(InternetSetOption(nullptr, inet_option::kConnectTimeout, 1));
  server_.SetRoute("/ok", Route{});
  EXPECT_FALSE(InternetSetOption(Open("/ok"), inet_option::kConnectTimeout, 1));
}

TEST_F(InetTest, ReceiveTimeoutsEndCallsOnASilentServer) {
  ASSERT_TRUE(InternetSetOption(root_, inet_option::kReceiveTimeout, 300));
  ASSERT_TRUE(InternetSetOption(root_, inet_option::kDataReceiveTimeout, 300));
  Route silent;
  silent.never_answer = true;
  server_.SetRoute("/silent", silent);
  EXPECT_FALSE(Open("/silent"));

  HINTERNET request = OpenStalled();
  ASSERT_TRUE(request);
  char buffer[100];
  std::uint32_t n = 0;
  EXPECT_FALSE(InternetReadFile(request, buffer, sizeof buffer, &n));
  EXPECT_EQ(n, 0u);
}

TEST_F(InetTest, AHeaderThatArrivesSlowlyIsNoStall) {
  // One header line of 3000 bytes over about a second: bytes keep coming, though no line
  // is complete for longer than the receive time-out.
  ASSERT_TRUE(InternetSetOption(root_, inet_option::kReceiveTimeout, 300));
  Route route = test::WithBody("ok");
  route.headers = {{"X-Long", std::string(3000, 'x')}};
  route.header_drip = 100ms;
  server_.SetRoute("/slow", route);
  HINTERNET request = Open("/slow");
  ASSERT_TRUE(request);
  EXPECT_EQ(Query(request, inet_query::kStatusCode), "200");
}

TEST_F(InetTest, TimeBetweenReadsDoesNotCountAsAStall) {
  // The caller may pause between chunks for longer than the receive time-out.
  ASSERT_TRUE(InternetSetOption(root_, inet_option::kDataReceiveTimeout, 200));
  Route route;
  route.generated_size = 1 << 20;
  server_.SetRoute("/big", route);
  HINTERNET request = Open("/big");
  ASSERT_TRUE(request);
  std::string body;
  std::vector<char> buffer(20480);
  for (int i = 0; i < 3; ++i) {
    std::this_thread::sleep_for(500ms);
    std::uint32_t n = 0;
    ASSERT_TRUE(InternetReadFile(request, buffer.data(), 20480, &n));
    body.append(buffer.data(), n);
  }
  ASSERT_TRUE(ReadAll(request, 20480, &body));
  EXPECT_EQ(body, BodyBytes(0, 1 << 20));
}

TEST_F(InetTest, AnUnreadBodyStaysOnTheServer) {
  // 64 MiB offered, a few KiB read: the client holds no more than a receive buffer or
  // two, and the server is held back by the socket buffers rather than by the client's
  // memory.
  constexpr std::uint64_t kSize = 64ull << 20;
  Route route;
  route.generated_size = kSize;
  server_.SetRoute("/huge", route);
  HINTERNET request = Open("/huge");
  ASSERT_TRUE(request);
  std::string body;
  std::vector<char> buffer(3000);
  for (int i = 0; i < 20; ++i) {
    std::uint32_t n = 0;
    ASSERT_TRUE(InternetReadFile(request, buffer.data(), 3000, &n));
    body.append(buffer.data(), n);
    if (i % 5 == 0) std::this_thread::sleep_for(100ms);
  }
  EXPECT_EQ(body, BodyBytes(0, body.size()));
  EXPECT_LE(InternetPeakBufferedBytes(request), 256u * 1024);
  EXPECT_LT(server_.BodyBytesSent("/huge"), kSize / 2);
  EXPECT_TRUE(InternetCloseHandle(request));
}

TEST_F(InetTest, RacingClosesNeverCrashOrHang) {
  // Closes land before, during and after opens and reads, from another thread.
  Route route;
  route.generated_size = 200000;
  server_.SetRoute("/f", route);
  std::mt19937 random(7);
  for (int i = 0; i < 150; ++i) {
    HINTERNET root = OpenRoot();
    auto done = std::make_shared<std::atomic<bool>>(false);
    auto worker = WorkerThread::Start([root, url = server_.WideUrl("/f"), done] {
      HINTERNET request = InternetOpenUrl(root, url, L"");
      std::vector<char> buffer(20480);
      std::uint32_t n = 1;
      while (request && n > 0 && InternetReadFile(request, buffer.data(), 20480, &n)) {
      }
      *done = true;
    });
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
    EXPECT_TRUE(InternetCloseHandle(root));
    ASSERT_TRUE(worker.WaitFor(kHang)) << "iteration " << i;
  }
}

// Which hosts bypass the proxy is shown against tinyproxy below.
TEST(InetProxyTest, AProxiedRequestNamesTheWholeUrlAndRefusesStoredCopies) {
  TestHttpServer origin;
  TestHttpServer proxy;  // answers proxy requests from its own routes
  origin.SetRoute("/f", test::WithBody("origin"));
  proxy.SetRoute("/f", test::WithBody("proxy"));
  HINTERNET root =
      InternetOpen(L"ZenpoTest/1.0", InternetAccess::kProxy, Wide(proxy.HostPort()), L"<local>");
  ASSERT_TRUE(root);

  HINTERNET dotted = InternetOpenUrl(root, origin.WideUrl("/f"), L"Range: bytes=0-\r\n");
  ASSERT_TRUE(dotted);
  std::string body;
  ASSERT_TRUE(ReadAll(dotted, 100, &body));
  EXPECT_EQ(body, "proxy");
  ASSERT_EQ(proxy.RequestCount(), 1u);
  auto via_proxy = proxy.Requests()[0];
  EXPECT_EQ(via_proxy.target, origin.Url("/f"));
  EXPECT_EQ(via_proxy.Header("Cache-Control"), "no-cache");
  EXPECT_EQ(origin.RequestCount(), 0u);
  EXPECT_FALSE(InternetOpen(L"a", InternetAccess::kProxy, L"", L"<local>"));
}

TEST(InetProxyTest, DirectAccessIgnoresProxiesFromTheEnvironment) {
  TestHttpServer origin;
  TestHttpServer proxy;
  origin.SetRoute("/f", test::WithBody("origin"));
  ::setenv("http_proxy", proxy.Url("").c_str(), 1);
  HINTERNET request = InternetOpenUrl(OpenRoot(), origin.WideUrl("/f"), L"");
  ::unsetenv("http_proxy");
  ASSERT_TRUE(request);
  EXPECT_EQ(origin.RequestCount(), 1u);
  EXPECT_EQ(proxy.RequestCount(), 0u);
}

// A file nginx serves, with a known modification time.
class InetNginxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(docroot_.path() / "d");
    test::WriteFile(docroot_.path() / "d" / "f.bin", BodyBytes(0, kSize));
    // 2001-02-03 04:05:06 GMT
    std::filesystem::last_write_time(
        docroot_.path() / "d" / "f.bin",
        std::chrono::file_clock::from_sys(std::chrono::sys_seconds(981173106s)));
    std::string error;
    ASSERT_TRUE(nginx_.Start(&error)) << error;
  }

  static constexpr std::size_t kSize = 300000;
  test::TempDir docroot_;
  test::NginxServer nginx_{docroot_.path()};
  HINTERNET root_ = OpenRoot();
};

TEST_F(InetNginxTest, ResumesWithRangeAndReportsTheFileTime) {
  HINTERNET request =
      InternetOpenUrl(root_, nginx_.WideUrl("/d/f.bin"), L"Accept: */*\r\nRange: bytes=100000-\r\n");
  ASSERT_TRUE(request);
  EXPECT_EQ(Query(request, inet_query::kStatusCode), "206");
  EXPECT_EQ(Query(request, inet_query::kContentRange), "bytes 100000-299999/300000");
  EXPECT_EQ(Query(request, inet_query::kContentLength), "200000");
  CalendarTime t;
  ASSERT_TRUE(HttpQueryLastModified(request, &t));
  EXPECT_EQ(CalendarToFileTime(t), CalendarToFileTime({2001, 2, 3, 4, 5, 6, 0}));
  std::string body;
  ASSERT_TRUE(ReadAll(request, 20480, &body));
  EXPECT_EQ(body, BodyBytes(100000, 200000));
  EXPECT_TRUE(InternetCloseHandle(request));

  HINTERNET past_end = InternetOpenUrl(root_, nginx_.WideUrl("/d/f.bin"), L"Range: bytes=300000-\r\n");
  ASSERT_TRUE(past_end);
  EXPECT_EQ(Query(past_end, inet_query::kStatusCode), "416");
  EXPECT_EQ(Query(past_end, inet_query::kContentRange), "bytes */300000");
}

TEST(InetTinyproxyTest, GoesThroughTheProxyExceptForDotlessHosts) {
  TestHttpServer origin;
  origin.SetRoute("/f", test::WithBody("origin"));
  test::TinyproxyServer proxy;
  std::string error;
  ASSERT_TRUE(proxy.Start(&error)) << error;
  HINTERNET root =
      InternetOpen(L"ZenpoTest/1.0", InternetAccess::kProxy, Wide(proxy.HostPort()), L"<local>");
  ASSERT_TRUE(root);

  HINTERNET proxied = InternetOpenUrl(root, origin.WideUrl("/f"), L"Range: bytes=0-\r\n");
  ASSERT_TRUE(proxied) << proxy.Log();
  std::string body;
  ASSERT_TRUE(ReadAll(proxied, 100, &body));
  EXPECT_EQ(body, "origin");
  ASSERT_EQ(origin.RequestCount(), 1u);
  auto request = origin.Requests()[0];
  EXPECT_NE(request.Header("Via").value_or("").find("tinyproxy"), std::string::npos);
  EXPECT_EQ(request.Header("User-Agent"), "ZenpoTest/1.0");
  EXPECT_EQ(request.Header("Range"), "bytes=0-");

  HINTERNET direct = InternetOpenUrl(
      root, L"http://localhost:" + std::to_wstring(origin.port()) + L"/f", L"");
  ASSERT_TRUE(direct);
  ASSERT_EQ(origin.RequestCount(), 2u);
  EXPECT_FALSE(origin.Requests()[1].Header("Via"));

  // Each redirect hop is judged by its own host.
  const std::string dotless = "http://localhost:" + std::to_string(origin.port());
  origin.SetRoute("/to-dotted", test::Redirect(302, origin.Url("/f")));
  origin.SetRoute("/to-dotless", test::Redirect(302, dotless + "/f"));
  const struct {
    std::string url;
    bool first_proxied, second_proxied;
  } hops[] = {{dotless + "/to-dotted", false, true}, {origin.Url("/to-dotless"), true, false}};
  for (const auto& hop : hops) {
    const std::size_t before = origin.RequestCount();
    ASSERT_TRUE(InternetOpenUrl(root, Wide(hop.url), L"")) << hop.url << proxy.Log();
    ASSERT_EQ(origin.RequestCount(), before + 2) << hop.url;
    const auto sent = origin.Requests();
    EXPECT_EQ(sent[before].Header("Via").has_value(), hop.first_proxied) << hop.url;
    EXPECT_EQ(sent[before + 1].Header("Via").has_value(), hop.second_proxied) << hop.url;
  }
}

}  // namespace
}  // namespace zenpo::platform
