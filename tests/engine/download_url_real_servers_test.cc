#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "config/settings.h"
#include "engine/download_url.h"
#include "engine/transfer_workers.h"
#include "platform/files.h"
#include "runtime/run_flags.h"
#include "runtime/status_lines.h"
#include "support/fake_window.h"
#include "support/nginx_server.h"
#include "support/program_home.h"
#include "support/test_http_server.h"
#include "support/tinyproxy_server.h"

namespace zenpo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::uint64_t Checksum(const std::string& bytes) {
  std::uint64_t h = 1469598103934665603ULL;  // FNV-1a
  for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ULL;
  return h;
}

void WaitForWorkers() {
  for (int i = 0; i < 1000 && RunningTransferWorkers() > 0; ++i) {
    std::this_thread::sleep_for(10ms);
  }
}

// A file of nginx's with a known modification time, downloaded into a program directory.
class DownloadFromNginxTest : public ::testing::Test {
 protected:
  static constexpr std::size_t kSize = 3000000;

  void SetUp() override {
    ResetRunFlags();
    fs::create_directories(docroot_.path() / "pkg");
    content_ = test::BodyBytes(0, kSize);
    test::WriteFile(docroot_.path() / "pkg/data.bin", content_);
    test::WriteFile(docroot_.path() / "check.html", "ok");
    // 2001-02-03 04:05:06 GMT
    fs::last_write_time(docroot_.path() / "pkg/data.bin",
                        std::chrono::file_clock::from_sys(std::chrono::sys_seconds(981173106s)));
    std::string error;
    ASSERT_TRUE(nginx_.Start(&error)) << error;
    AppSettings.checkURL = nginx_.WideUrl("/check.html");
    local_ = home_.dir().path() / ("127.0.0.1#" + std::to_string(nginx_.port())) / "pkg/data.bin";
  }
  void TearDown() override {
    nginx_.Stop();
    WaitForWorkers();
    StatusLines.ClearAll();
  }

  ResultCode Download() {
    return DownloadUrl(nginx_.WideUrl("/pkg/data.bin"), window_, L"", L"", L"", L"");
  }
  std::string AccessLog() const { return test::ReadFile(nginx_.access_log()); }

  test::ProgramHome home_;
  test::TempDir docroot_;
  test::NginxServer nginx_{docroot_.path()};
  test::FakeWindow window_;
  std::string content_;
  fs::path local_;
};

// The second run asks for the range past the end. nginx answers that with 416, its total
// size and no Last-Modified, so the complete file is recognised by its size. The
// programmable server's test shows the date match with a server that sends the date.
TEST_F(DownloadFromNginxTest, DownloadsStampsAndThenSkipsTheCompleteFile) {
  ASSERT_EQ(Download(), 900);
  EXPECT_EQ(Checksum(test::ReadFile(local_)), Checksum(content_));
  platform::FileTime local_time = 0;
  ASSERT_TRUE(platform::ReadLastWriteTime(local_.wstring(), &local_time));
  EXPECT_EQ(local_time, platform::CalendarToFileTime({2001, 2, 3, 4, 5, 6, 0}));
  EXPECT_EQ(Download(), 902);
  EXPECT_EQ(Checksum(test::ReadFile(local_)), Checksum(content_));
}

TEST_F(DownloadFromNginxTest, ResumesATruncatedFileToTheServersExactBytes) {
  ASSERT_EQ(Download(), 900);
  fs::resize_file(local_, 1234567);  // also gives the file a time of its own
  ASSERT_EQ(Download(), 900);
  EXPECT_EQ(Checksum(test::ReadFile(local_)), Checksum(content_));
  EXPECT_NE(AccessLog().find("\" 206 "), std::string::npos) << AccessLog();
  EXPECT_EQ(StatusLines.ResumeLine.Get(), L"Resume OK");
}

TEST_F(DownloadFromNginxTest, StartsOverALocalFileLargerThanTheServers) {
  fs::create_directories(local_.parent_path());
  test::WriteFile(local_, std::string(kSize + 100, 'x'));
  ASSERT_EQ(Download(), 900);
  EXPECT_EQ(Checksum(test::ReadFile(local_)), Checksum(content_));
  EXPECT_NE(AccessLog().find("\" 416 "), std::string::npos) << AccessLog();
}

TEST(DownloadThroughTinyproxyTest, ProxiedExceptForDotlessHosts) {
  test::ProgramHome home;
  test::FakeWindow window;
  ResetRunFlags();
  {
    test::TestHttpServer origin;
    test::Route r;
    r.generated_size = 5000;
    origin.SetRoute("/f", r);
    origin.SetRoute("/check", r);
    test::TinyproxyServer proxy;
    std::string error;
    ASSERT_TRUE(proxy.Start(&error)) << error;
    const std::string host_port = proxy.HostPort();
    AppSettings.proxy = std::wstring(host_port.begin(), host_port.end());
    AppSettings.checkURL = origin.WideUrl("/check");

    ASSERT_EQ(DownloadUrl(origin.WideUrl("/f"), window, L"", L"", L"", L""), 900) << proxy.Log();
    auto requests = origin.Requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const auto& request : requests) {
      EXPECT_NE(request.Header("Via").value_or("").find("tinyproxy"), std::string::npos);
    }
    EXPECT_EQ(requests[1].Header("Range"), "bytes=0-");

    const std::wstring dotless = L"http://localhost:" + std::to_wstring(origin.port());
    AppSettings.checkURL = dotless + L"/check";
    ASSERT_EQ(DownloadUrl(dotless + L"/f", window, L"", L"", L"", L""), 900);
    requests = origin.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_FALSE(requests[2].Header("Via"));
    EXPECT_FALSE(requests[3].Header("Via"));
    EXPECT_EQ(test::ReadFile(home / ("localhost#" + std::to_string(origin.port()) + "/f")),
              test::BodyBytes(0, 5000));
  }
  WaitForWorkers();
}

}  // namespace
}  // namespace zenpo
