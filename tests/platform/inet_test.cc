// The HTTP client service against the programmable loopback server.
#include "platform/inet.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <atomic>
#include <thread>

#include "platform/worker_thread.h"
#include "support/test_http_server.h"

namespace zenpo::platform {
namespace {

using namespace std::chrono_literals;
using test::BodyBytes;
using test::Route;

// A call still pending after this is a hang.
constexpr auto kHang = 10s;

HINTERNET OpenRoot() { return InternetOpen(L"ZenpoTest/1.0", InternetAccess::kDirect, L"", L""); }

std::string Query(const HINTERNET& request, int level) {
  std::wstring text;
  HttpQueryInfo(request, level, &text);
  return std::string(text.begin(), text.end());
}

// Reads the whole body in reads of chunk bytes; false when a read fails or gives more
// than asked.
bool ReadAll(const HINTERNET& request, std::uint32_t chunk, std::string* body) {
  std::vector<char> buffer(chunk);
  for (std::uint32_t n = 1; n > 0; body->append(buffer.data(), n)) {
    if (!InternetReadFile(request, buffer.data(), chunk, &n) || n > chunk) return false;
  }
  return true;
}

class InetTest : public ::testing::Test {
 protected:
  HINTERNET Open(const std::string& path, const std::wstring& headers = L"") {
    return InternetOpenUrl(root_, server_.WideUrl(path), headers);
  }
  // A request whose body stops after the first 10 of its 100 bytes, those 10 read.
  HINTERNET OpenStalled() {
    Route route = test::WithBody(std::string(100, 'x'));
    route.stall_after = 10;
    server_.SetRoute("/stall", route);
    HINTERNET request = Open("/stall");
    char buffer[100];
    std::uint32_t n = 0;
    EXPECT_TRUE(request && InternetReadFile(request, buffer, sizeof buffer, &n) && n == 10);
    return request;
  }
  test::TestHttpServer server_;
  HINTERNET root_ = OpenRoot();
};

TEST_F(InetTest, SendsTheHeaderBlockAsGivenAndEscapesTheUrl) {
  server_.SetRoute("/a%20b/%E3%81%82", Route{});
  ASSERT_TRUE(InternetOpenUrl(root_, server_.WideUrl("/a b/") + L"\u3042",
                              L"Accept: */*\r\nReferer: http://r/p\r\nRange: bytes=512-\r\n"));
  const auto sent = server_.Requests().at(0);
  EXPECT_EQ(sent.request_line, "GET /a%20b/%E3%81%82 HTTP/1.1");
  EXPECT_EQ(sent.Header("Referer"), "http://r/p");
  EXPECT_EQ(sent.Header("Range"), "bytes=512-");
  EXPECT_EQ(sent.Header("User-Agent"), "ZenpoTest/1.0");
  // Nothing the server could answer in another encoding or from a stored copy.
  EXPECT_FALSE(sent.Header("Accept-Encoding") || sent.Header("If-Modified-Since") || sent.Header("Cookie"));
}

TEST_F(InetTest, QueriesAnswerFromTheFinalResponse) {
  Route route = test::WithBody("0123456789");
  route.honour_range = true;
  route.headers = {{"X-Extra", "  padded  "}};
  server_.SetRoute("/f", route);
  server_.SetRoute("/r1", test::Redirect(301, server_.Url("/r2")));
  server_.SetRoute("/r2", test::Redirect(302, "/r3"));
  server_.SetRoute("/r3", test::Redirect(307, "f"));
  HINTERNET partial = Open("/r1", L"Range: bytes=4-\r\n");
  ASSERT_TRUE(partial);
  EXPECT_EQ(Query(partial, inet_query::kStatusCode), "206");
  EXPECT_EQ(Query(partial, inet_query::kContentRange), "bytes 4-9/10");
  EXPECT_EQ(Query(partial, inet_query::kContentLength), "6");
  const std::string raw = Query(partial, inet_query::kRawHeadersCrlf);
  EXPECT_EQ(raw.rfind("HTTP/1.1 206 ", 0), 0u) << raw;
  EXPECT_NE(raw.find("\r\nX-Extra:   padded\r\n"), std::string::npos) << raw;
  EXPECT_TRUE(raw.ends_with("\r\n\r\n") && raw.find("\n\n") == std::string::npos);
  EXPECT_EQ(server_.Requests().back().Header("Range"), "bytes=4-");
  std::string body;
  ASSERT_TRUE(ReadAll(partial, 4096, &body));
  EXPECT_EQ(body, "456789");
  // Absent values fail and leave the text empty; unknown levels and handles fail.
  std::wstring text = L"stale";
  EXPECT_FALSE(HttpQueryInfo(Open("/nothing"), inet_query::kContentRange, &text));
  EXPECT_EQ(text, L"");
  EXPECT_FALSE(HttpQueryInfo(partial, 12345, &text));
  EXPECT_FALSE(HttpQueryInfo(root_, inet_query::kStatusCode, &text));
  // Credentials stay with the server first asked.
  server_.SetRoute("/away", test::Redirect(302, "http://localhost:" + std::to_string(server_.port()) + "/f"));
  ASSERT_TRUE(Open("/away", L"Authorization: Basic dXNlcjpwYXNz\r\n"));
  const auto sent = server_.Requests();
  EXPECT_TRUE(sent[sent.size() - 2].Header("Authorization") && !sent.back().Header("Authorization"));
}

TEST_F(InetTest, FailsToOpenWhatCannotAnswerAndACutChunkedBodyIsAnError) {
  EXPECT_FALSE(InternetOpenUrl(root_, L"file:///etc/passwd", L""));
  Route flood;  // headers that never end are refused, not collected
  for (int i = 0; i < 5000; ++i) flood.headers.emplace_back("X-Flood-" + std::to_string(i), std::string(100, 'f'));
  server_.SetRoute("/flood", flood);
  EXPECT_FALSE(Open("/flood"));
  // Without a length the caller could not tell a cut body from a whole one.
  Route chunked = test::WithBody("5\r\nhello\r\n5\r\nwor");
  chunked.headers = {{"Transfer-Encoding", "chunked"}};
  chunked.content_length = false;
  server_.SetRoute("/chunked", chunked);
  std::string body;
  EXPECT_FALSE(ReadAll(Open("/chunked"), 100, &body));
  EXPECT_EQ(body.substr(0, 5), "hello") << "what arrived comes first";
}

// Closing a request ends its pending read; closing the root ends its pending open and
// closes its requests. Handles closed once fail ever after.
TEST_F(InetTest, ClosesCancelPendingCallsAndLaterCallsFail) {
  Route silent;
  silent.never_answer = true;
  server_.SetRoute("/silent", silent);
  HINTERNET request = OpenStalled();
  auto results = std::make_shared<std::atomic<int>>(0);
  auto reader = WorkerThread::Start([request, results] {
    char b[100];
    std::uint32_t got = 0;
    *results += InternetReadFile(request, b, sizeof b, &got) ? 1 : 0;
  });
  auto opener = WorkerThread::Start([root = root_, url = server_.WideUrl("/silent"), results] {
    *results += InternetOpenUrl(root, url, L"") ? 1 : 0;
  });
  ASSERT_TRUE(server_.WaitForRequests(2, kHang));
  EXPECT_FALSE(reader.WaitFor(200ms) || opener.HasEnded());
  EXPECT_TRUE(InternetCloseHandle(request));
  ASSERT_TRUE(reader.WaitFor(kHang));
  EXPECT_TRUE(InternetCloseHandle(root_));
  ASSERT_TRUE(opener.WaitFor(kHang));
  EXPECT_EQ(*results, 0);
  char c;
  std::uint32_t n = 0;
  EXPECT_FALSE(InternetCloseHandle(request) || InternetReadFile(request, &c, 1, &n) || Open("/ok"));
}

TEST_F(InetTest, ReceiveTimeoutsEndCallsButTimeBetweenReadsIsNoStall) {
  ASSERT_TRUE(InternetSetOption(root_, inet_option::kReceiveTimeout, 300));
  ASSERT_TRUE(InternetSetOption(root_, inet_option::kDataReceiveTimeout, 300));
  Route silent;
  silent.never_answer = true;
  server_.SetRoute("/silent", silent);
  EXPECT_FALSE(Open("/silent"));
  HINTERNET request = OpenStalled();
  char buffer[100];
  std::uint32_t n = 0;
  EXPECT_FALSE(InternetReadFile(request, buffer, sizeof buffer, &n));
  // A 3000-byte header line dripping in over a second is no stall: bytes keep coming.
  Route drip = test::WithBody("ok");
  drip.headers = {{"X-Long", std::string(3000, 'x')}};
  drip.header_drip = 100ms;
  server_.SetRoute("/drip", drip);
  EXPECT_TRUE(Open("/drip"));
  // The caller may pause between chunks for longer than the time-out.
  Route big;
  big.generated_size = 1 << 20;
  server_.SetRoute("/big", big);
  request = Open("/big");
  std::string body;
  for (int i = 0; i < 2; ++i) {
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(InternetReadFile(request, buffer, sizeof buffer, &n));
    body.append(buffer, n);
  }
  ASSERT_TRUE(ReadAll(request, 20480, &body));
  EXPECT_EQ(body, BodyBytes(0, 1 << 20));
}

TEST_F(InetTest, AnUnreadBodyStaysOnTheServer) {
  // 64 MiB offered, a few KiB read: the client holds a receive buffer or two.
  Route route;
  route.generated_size = 64ull << 20;
  server_.SetRoute("/huge", route);
  HINTERNET request = Open("/huge");
  std::string body(3000, '\0');
  std::uint32_t n = 0;
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(InternetReadFile(request, body.data(), 3000, &n));
    if (i % 5 == 0) std::this_thread::sleep_for(100ms);
  }
  EXPECT_LE(InternetPeakBufferedBytes(request), 256u * 1024);
  EXPECT_LT(server_.BodyBytesSent("/huge"), 32ull << 20);
}

TEST(InetProxyTest, DirectAccessIgnoresProxiesFromTheEnvironment) {
  test::TestHttpServer origin, proxy;
  ::setenv("http_proxy", proxy.Url("").c_str(), 1);
  HINTERNET request = InternetOpenUrl(OpenRoot(), origin.WideUrl("/f"), L"");
  ::unsetenv("http_proxy");
  EXPECT_TRUE(request && origin.RequestCount() == 1 && proxy.RequestCount() == 0);
  EXPECT_FALSE(InternetOpen(L"a", InternetAccess::kProxy, L"", L"<local>")) << "no proxy named";
}

}  // namespace
}  // namespace zenpo::platform
