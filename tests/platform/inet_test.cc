#include "platform/inet.h"
#include "platform/posix/inet_posix.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <thread>

#include "support/test_http_server.h"

namespace zenpo::platform {
namespace {

using namespace std::chrono_literals;
using test::BodyBytes;

// False when a read fails or runs past what was asked (or, past a page, its last page boundary).
bool ReadAll(const HINTERNET& request, std::uint32_t chunk, std::string* body) {
  const char* data = nullptr;
  for (std::uint32_t n = 1; n > 0; body->append(data, n)) {
    const std::size_t reach = body->size() + chunk;
    if (!InternetReadFile(request, chunk, &data, &n)) return false;
    if (body->size() + n > (chunk > 4096 ? reach / 4096 * 4096 : reach)) return false;
  }
  return true;
}

class InetTest : public ::testing::Test {
 protected:
  HINTERNET Open(const std::string& path) {
    return InternetOpenUrl(root_, server_.WideUrl(path), L"");
  }
  test::TestHttpServer server_;
  HINTERNET root_ = InternetOpen(L"ZenpoTest/1.0", InternetAccess::kDirect, L"", L"");
};

TEST_F(InetTest, SendsTheHeaderBlockAsGivenAndQueriesAnswerFromTheFinalResponse) {
  server_.SetRoute("/f", {.headers = {{"X-Extra", "  padded  "}}, .body = "0123456789", .honour_range = true});
  server_.SetRoute("/a%20b/%E3%81%82", test::Redirect(301, server_.Url("/r2")));
  server_.SetRoute("/r2", test::Redirect(302, "/r3"));
  server_.SetRoute("/r3", test::Redirect(307, "f"));
  ::setenv("http_proxy", "http://127.0.0.1:1/", 1);  // direct access ignores it
  HINTERNET partial =
      InternetOpenUrl(root_, server_.WideUrl("/a b/") + L"\u3042", L"Referer: http://r/p\r\nRange: bytes=4-\r\n");
  ::unsetenv("http_proxy");
  ASSERT_TRUE(partial);
  const auto first = server_.Requests().at(0);
  EXPECT_EQ(first.request_line, "GET /a%20b/%E3%81%82 HTTP/1.1");
  EXPECT_EQ(first.Header("Referer"), "http://r/p");
  // Nothing the server could answer in another encoding or from a stored copy.
  EXPECT_FALSE(first.Header("Accept-Encoding") || first.Header("If-Modified-Since") || first.Header("Cookie"));
  std::wstring headers;
  ASSERT_TRUE(HttpQueryInfo(partial, inet_query::kRawHeadersCrlf, &headers));
  const std::string raw(headers.begin(), headers.end());
  EXPECT_EQ(raw.rfind("HTTP/1.1 206 ", 0), 0u) << raw;
  EXPECT_NE(raw.find("\r\nX-Extra:   padded\r\n"), std::string::npos) << raw;
  EXPECT_TRUE(raw.ends_with("\r\n\r\n") && raw.find("\n\n") == std::string::npos);
}

TEST_F(InetTest, FailsWhatCannotAnswerAndReadsAtTheCallersPace) {
  ASSERT_TRUE(InternetSetOption(root_, inet_option::kReceiveTimeout, 300));
  ASSERT_TRUE(InternetSetOption(root_, inet_option::kDataReceiveTimeout, 300));
  EXPECT_FALSE(InternetOpenUrl(root_, L"file:///etc/passwd", L""));
  server_.SetRoute("/silent", {.never_answer = true});
  EXPECT_FALSE(Open("/silent"));
  test::Route flood;  // headers without end are refused, not collected
  for (int i = 0; i < 5000; ++i) flood.headers.emplace_back("X-Flood-" + std::to_string(i), std::string(100, 'f'));
  server_.SetRoute("/flood", flood);
  EXPECT_FALSE(Open("/flood"));
  // Without a length the caller could not tell a cut body from a whole one.
  server_.SetRoute("/chunked", {.headers = {{"Transfer-Encoding", "chunked"}}, .body = "5\r\nhello\r\n5\r\nwor",
                                .content_length = false});
  std::string body;
  EXPECT_FALSE(ReadAll(Open("/chunked"), 100, &body));
  EXPECT_EQ(body.substr(0, 5), "hello") << "what arrived comes first";
  // A slow caller is no stall, and the client buffers a receive buffer or two meanwhile.
  server_.SetRoute("/big", {.generated_size = 1 << 20});
  HINTERNET request = Open("/big");
  body.clear();
  const char* data = nullptr;
  std::uint32_t n = 0;
  for (int i = 0; i < 2; ++i) {
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(InternetReadFile(request, 100, &data, &n));
    body.append(data, n);
  }
  ASSERT_TRUE(ReadAll(request, 10240, &body));
  EXPECT_EQ(body, BodyBytes(0, 1 << 20));
  EXPECT_LE(InternetPeakBufferedBytes(request), 150u * 1024);
  // A read's bytes stay put when the handle closes under their reader.
  request = Open("/big");
  ASSERT_TRUE(InternetReadFile(request, 100, &data, &n));
  ASSERT_TRUE(InternetCloseHandle(request));
  EXPECT_EQ(std::string(data, n), BodyBytes(0, n));
}

}  // namespace
}  // namespace zenpo::platform
