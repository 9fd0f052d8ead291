#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "config/settings.h"
#include "engine/download_url.h"
#include "engine/local_path.h"
#include "engine/request_headers.h"
#include "engine/transfer_workers.h"
#include "list/job_thread.h"
#include "list/select_next_entry.h"
#include "report/report_message.h"
#include "runtime/run_flags.h"
#include "runtime/status_lines.h"
#include "runtime/tray_icon.h"
#include "support/fake_window.h"
#include "support/nginx_server.h"
#include "support/other_user.h"
#include "support/program_home.h"
#include "support/recording_message_box.h"
#include "support/test_certificates.h"
#include "support/test_http_server.h"
#include "support/zenpo_process.h"

namespace zenpo {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using test::BodyBytes;
using test::Route;

TEST(LocalPathTest, PiecesStayInsideTheirParent) {
  const std::pair<std::wstring, std::wstring> pieces[] = {
      {L". .", L"# #"}, {L"..\\..\\x", L"..#..#x"}, {std::wstring(L"a\0b", 3), L"a#b"}, {L"..a", L"..a"},
      {L"a,b;c:d*e?f<g>h|i\"j", L"a#b#c#d#e#f#g#h#i#j"}, {std::wstring(200, L'?'), std::wstring(128, L'#')},
      {std::wstring(130, L'é'), std::wstring(127, L'é')}};  // 128 characters, but too many bytes
  for (const auto& [piece, safe] : pieces) EXPECT_EQ(LocalPathPiece(piece), safe);
  test::TempDir dir;
  std::wstring path;
  ASSERT_TRUE(MakeLocalPath(dir.wpath(), UrlPieces(L"http://h:81//a/../get?id=5"), true, &path));
  EXPECT_EQ(platform::NarrowPath(path), (dir / "h#81/a/##/get#id=5").string());
}

TEST(RequestIdentityTest, EntryThenFirstMatchingProfileThenSettingsAndNoLineBreaks) {
  AppSettingsRecord settings;
  settings.Referer = L"http://settings/";
  settings.Authid = L"s:pw";
  const std::vector<HostProfile> profiles = {{L"a", L"http://ref-a/", L"", L"a:pw"},
                                             {L"a.b", L"http://ref-ab/", L"Agent-ab", L"ab:pw"},
                                             {L"", L"http://empty/", L"Empty", L"e:pw"}};
  RequestIdentity id = ChooseRequestIdentity(L"http://a.b/f", {}, profiles, settings);
  EXPECT_EQ(id.referer + L" " + id.agent + L" " + id.credential, L"http://ref-a/ Agent-ab ab:pw");
  id = ChooseRequestIdentity(L"http://a.b/f", {L"A\r\nX: 1", L"R\r\n", L"YQ==\n", L""}, profiles, settings);
  EXPECT_EQ(id.agent + L" " + id.referer + L" " + id.authorization + L" " + id.credential, L"AX: 1 R YQ== s:pw");
  id = ChooseRequestIdentity(L"http://x/f", {}, profiles, settings);
  EXPECT_EQ(id.agent + L" " + id.referer + L" " + id.credential, L"Mozilla/4.0 http://settings/ s:pw");
}

Route Generated(std::uint64_t size, bool honour_range = true) {
  return {.generated_size = size, .honour_range = honour_range};
}

// Sooner than the library's own 4 s limit a worker ends only because its handle was closed.
bool WorkersEnd() {
  return test::Eventually([] { return RunningTransferWorkers() == 0; }, milliseconds(1500));
}

class DownloadUrlTest : public ::testing::Test {
 protected:
  DownloadUrlTest() {
    AppSettings.checkURL = server_.WideUrl("/no-such-page");  // any answer passes
    SetTrayWindow(&window_);
  }
  ~DownloadUrlTest() override {
    EXPECT_TRUE(WorkersEnd()) << "no call is left behind";
    ResetTrayState();
    ResetRunFlags();
    unsetenv("SSL_CERT_FILE");
  }
  ResultCode DownloadFrom(const std::string& url) {
    return DownloadUrl(std::wstring(url.begin(), url.end()), window_, L"", L"", L"");
  }
  ResultCode Download(const std::string& path) { return DownloadFrom(server_.Url(path)); }
  // Where a download from the test server, or from another on the given port, lands.
  fs::path Local(const std::string& path, std::uint16_t port = 0) const {
    return home_ / ("127.0.0.1#" + std::to_string(port ? port : server_.port()) + path);
  }
  std::string LocalBytes(const std::string& path) const { return test::ReadFile(Local(path)); }
  test::ReceivedRequest Last() const { return server_.Requests().back(); }

  test::ProgramHome home_;
  test::TestHttpServer server_;
  test::FakeWindow window_;
};

TEST_F(DownloadUrlTest, FreshDownloadStampedAndSkippedThenAnswersAndCutsDecideWhatTheFileKeeps) {
  server_.SetRoute("/d/f.zip", {.headers = {{"Last-Modified", "Sun, 06 Nov 1994 08:49:37 GMT"}},
                                .generated_size = 300000, .honour_range = true});
  ASSERT_EQ(Download("/d/f.zip"), 900);
  EXPECT_EQ(LocalBytes("/d/f.zip"), BodyBytes(0, 300000));
  EXPECT_EQ(StatusLines.ProgressLine.Get(), L"300000 / 300000 Bytes [ 100% ]");
  EXPECT_EQ(Download("/d/f.zip"), 901) << "the file has the server's time";
  AppSettings.Authid = L"settings:pw";
  AppSettings.CNTimeout = -1;  // no limit
  struct Case {
    Route route;
    std::string local;
    ResultCode code;
    std::string after;  // the local file afterwards
    const char* range;  // the Range asked for
    std::int32_t timeout = -1;
  } cases[] = {
      {Generated(5000), BodyBytes(0, 5000), 902, BodyBytes(0, 5000), "bytes=5000-"},
      {{.status = 416}, "local", 903, "local", "bytes=5-"},
      {{.status = 404, .body = "12345"}, "abcde", 902, "abcde", "bytes=5-"},
      {{.status = 404, .body = "not here"}, "", 133, "", "bytes=0-"},
      // The same piece whatever was asked: whole from byte 0, a gap from elsewhere.
      {{.status = 206, .headers = {{"Content-Range", "bytes 0-9/10"}}, .body = BodyBytes(0, 10)}, BodyBytes(0, 5), 900,
       BodyBytes(0, 10), "bytes=5-"},
      {{.status = 206, .headers = {{"Content-Range", "bytes 3-9/10"}}, .body = BodyBytes(3, 7)}, BodyBytes(0, 5), 133,
       BodyBytes(0, 5), "bytes=5-"},
      {{.status = 206, .headers = {{"Content-Range", "bytes 100-199/200"}}, .body = std::string(150, 'b')},
       std::string(100, 'a'), 136, std::string(100, 'a') + std::string(150, 'b'), "bytes=100-"},
      // Written only where a readable range puts it, even of unknown total.
      {{.status = 206, .body = BodyBytes(1000, 4000)}, BodyBytes(0, 1000), 133, BodyBytes(0, 1000), "bytes=1000-"},
      {{.status = 206, .headers = {{"Content-Range", "bytes 1000-4999/*"}}, .body = BodyBytes(1000, 4000),
        .content_length = false},
       BodyBytes(0, 1000), 900, BodyBytes(0, 5000), "bytes=1000-"},
      // Larger than the server's file: started over, and the emptied file is no success.
      {{.status = 416, .headers = {{"Content-Range", "bytes */500"}}}, BodyBytes(0, 1000), 133, "", "bytes=0-"},
      // What arrived before a cut is in the file, exactly: a resume starts from there.
      {{.generated_size = 100000, .stall_after = 30000}, "", 400, BodyBytes(0, 30000), "bytes=0-", 500},
      {{.generated_size = 100000, .stall_after = 20000}, "", 500, BodyBytes(0, 20000), "bytes=0-"},  // after 4 s
      {{.generated_size = 100000, .drop_after = 50000}, "", 600, BodyBytes(0, 50000), "bytes=0-"},
      {{.generated_size = 70000, .content_length = false}, "stale", 900, BodyBytes(0, 70000), "bytes=5-"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    fs::remove_all(Local("/"));
    fs::create_directories(Local("/"));
    test::WriteFile(Local("/f"), c.local);
    server_.SetRoute("/f", c.route);
    AppSettings.DLTimeout = c.timeout;
    EXPECT_EQ(Download("/f"), c.code);
    EXPECT_TRUE(WorkersEnd()) << "a stalled read ends with its handle";
    EXPECT_EQ(LocalBytes("/f"), c.after);
    if (c.code >= 400 && c.code <= 600) {  // a cut transfer shows what its file holds
      EXPECT_EQ(std::wcstoll(StatusLines.ProgressLine.Get().c_str(), nullptr, 10), static_cast<long long>(c.after.size()));
    }
    EXPECT_EQ(Last().Header("Range"), c.range);
    EXPECT_EQ(Last().Header("Authorization"), "Basic c2V0dGluZ3M6cHc=");
  }
}

// A timed-out call ends by closing its handles, while the server still holds the line.
TEST_F(DownloadUrlTest, FailuresBeforeTheBodyEndWithTheirCode) {
  test::WriteFile(Local(""), "in the way");  // a file where the host's directory belongs
  server_.SetRoute("/f", Generated(1000, false));  // a whole answer empties first
  EXPECT_EQ(Download("/f"), 134);
  server_.SetRoute("/g", Generated(1000));  // a partial one appends at once
  EXPECT_EQ(Download("/g"), 135);
  EXPECT_EQ(test::ReadFile(Local("")), "in the way");
  EXPECT_EQ(DownloadUrl(L"http://127.0.0.1:1/refused", window_, L"", L"", L""), 132);
  test::RecordingMessageBox boxes;
  server_.SetRoute("/hang", {.never_answer = true});
  AppSettings.checkURL = L"http://127.0.0.1:1/";
  EXPECT_EQ(Download("/f"), 104);
  AppSettings.checkURL = server_.WideUrl("/hang");
  AppSettings.CNTimeout = 300;
  EXPECT_EQ(Download("/f"), 104);
  EXPECT_EQ(boxes.texts(), (std::vector<std::wstring>{L"ネットワーク接続でerrorが発生しました",
                                                      L"ネットワーク接続がタイムアウトしました"}));
}

// Someone else who may write into the download folder plants links: a folder link, a
// file link and the log. Theirs are not written through (the file is one that cannot be
// opened, and the log says why); the user's own lead where the user put them.
TEST_F(DownloadUrlTest, OnlyTheUsersOwnLinksAreWrittenThrough) {
  const auto other = test::OtherUserAccount();
  if (!other) GTEST_SKIP() << test::kNoOtherUser;
  test::TempDir elsewhere;
  test::WriteFile(elsewhere / "precious", "precious");
  fs::create_directories(Local("/"));
  auto plant = [&](const fs::path& target, const fs::path& at, bool theirs) {
    fs::remove_all(at);
    fs::create_symlink(target, at);
    if (theirs) {
      EXPECT_EQ(lchown(at.c_str(), other->uid, other->gid), 0);
    }
  };
  server_.SetRoute("/d/f", Generated(1000));
  server_.SetRoute("/g", Generated(1000, false));
  plant(elsewhere.path(), Local("/d"), true);
  EXPECT_EQ(Download("/d/f"), 135);
  plant(elsewhere / "precious", Local("/g"), true);
  EXPECT_EQ(Download("/g"), 134);
  EXPECT_EQ(test::ReadFile(elsewhere / "precious"), "precious");
  EXPECT_FALSE(fs::exists(elsewhere / "f"));
  const std::string log = home_.LogText();
  for (const char* link : {"/d", "/g"}) {
    EXPECT_NE(log.find(" 他のユーザのリンクには書き込みません->" + Local(link).string() + "\n"), std::string::npos) << log;
  }
  plant(elsewhere.path(), Local("/d"), false);
  EXPECT_EQ(Download("/d/f"), 900);
  EXPECT_EQ(test::ReadFile(elsewhere / "f"), BodyBytes(0, 1000));
  plant(elsewhere / "precious", platform::NarrowPath(ProgramPaths.LogPath), true);
  test::RecordingMessageBox boxes;
  EXPECT_EQ(ReportMessage(L"line", 1, 9), rc::kLogUnusable);
  EXPECT_EQ(test::ReadFile(elsewhere / "precious"), "precious");
}

TEST_F(DownloadUrlTest, UserAbortBeforeTheRequestAndBetweenChunks) {
  server_.SetRoute("/f", Generated(400000));
  CloseRequested = 1;
  EXPECT_EQ(Download("/f"), 101);
  EXPECT_EQ(server_.RequestCount(), 0u);
  CloseRequested = 0;
  // Slow chunks give the pause time to arrive mid-body; the transfer outlasts the read
  // time-out, which each read has anew.
  AppSettings.DLBuff = 1000;
  AppSettings.DLTimeout = 300;
  NoWait = 0;
  ChunkWait = 20;
  bool progress_followed = false;  // the progress line shows the growing file
  std::thread pauser([&] {
    test::Eventually([&] { return LocalBytes("/f").size() >= 20000; }, std::chrono::seconds(10), milliseconds(5));
    progress_followed = test::Eventually(
        [] { return std::wcstoll(StatusLines.ProgressLine.Get().c_str(), nullptr, 10) >= 20000; });
    PauseRequested = 1;
  });
  EXPECT_EQ(Download("/f"), 101);
  pauser.join();
  EXPECT_TRUE(progress_followed);
  const std::string partial = LocalBytes("/f");
  EXPECT_LT(partial.size(), 400000u);
  EXPECT_EQ(partial, BodyBytes(0, partial.size()));
}

TEST_F(DownloadUrlTest, TransferKilledWithSigkillResumesByteExact) {
  server_.SetRoute("/big.bin", Generated(1ULL << 30));
  test::WriteFile(home_ / "ZENPO.ini", "checkURL=" + server_.Url("/check") + "\nDLBuff=50\nmkdir=0\n");
  test::WriteFile(home_ / "ZENPO.txt", server_.Url("/big.bin") + "\n");
  {
    test::ZenpoProcess zenpo(home_.dir().path());
    ASSERT_TRUE(test::Eventually([&] { return test::ReadFile(home_ / "big.bin").size() > 100000; }));
    kill(zenpo.pid(), SIGKILL);
  }
  const std::size_t size = fs::file_size(home_ / "big.bin");
  EXPECT_EQ(test::ReadFile(home_ / "ZENPO.txt"), "899|" + server_.Url("/big.bin") + "\n");
  server_.SetRoute("/big.bin", Generated(size + 100000));
  AppSettings.mkdir = 0;
  ASSERT_EQ(Download("/big.bin"), 900);
  EXPECT_EQ(test::ReadFile(home_ / "big.bin"), BodyBytes(0, size + 100000));
}

// A full disk, as the program meets it when a write fails past its file size limit (the
// limit's signal ignored, as the program inherits it): the entry ends with 135, the file
// keeps an exact prefix to resume from, and the list keeps every other byte.
TEST_F(DownloadUrlTest, FullDiskEndsTheEntryWith135AndLeavesAPrefix) {
  const auto prlimit = test::FindProgram("prlimit");
  if (!prlimit) GTEST_SKIP() << "prlimit is not installed";
  server_.SetRoute("/f.bin", Generated(300000));
  test::WriteFile(home_ / "ZENPO.ini", "checkURL=" + server_.Url("/check") + "\nmkdir=0\n");
  const std::string list = "# mine\r\n" + server_.Url("/f.bin") + "|Referer=http://r/\r\n";
  test::WriteFile(home_ / "ZENPO.txt", list);
  struct sigaction ignore = {}, former = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &former);
  test::ZenpoProcess zenpo(home_.dir().path(), {"--fsize=100000", ZENPO_BINARY}, {}, prlimit->string());
  sigaction(SIGXFSZ, &former, nullptr);
  ASSERT_TRUE(test::Eventually([&] {
    const std::string now = test::ReadFile(home_ / "ZENPO.txt");
    return !now.empty() && now != list && now.find("899|") == std::string::npos;  // absent while in use
  })) << test::ReadFile(home_ / "zenpo-output.txt");
  EXPECT_EQ(test::ReadFile(home_ / "ZENPO.txt"), "# mine\r\n135|" + server_.Url("/f.bin") + "|Referer=http://r/\r\n");
  EXPECT_EQ(test::ReadFile(home_ / "f.bin"), BodyBytes(0, 100000)) << "what fitted, up to the limit";
}

// As the cycle does it: select, download, write back. A file past 4 GiB is resumed from
// a sparse local prefix, so only its tail travels.
TEST_F(DownloadUrlTest, NginxWorksOffAListPast4GiBWithBytesAndRequestHeaders) {
  if (!test::FindProgram("nginx")) GTEST_SKIP() << "nginx is not installed";
  test::TempDir docroot;
  test::WriteFile(docroot / "b.bin", "bb");
  // Both sides sparse up to the prefix, an odd number of bytes past 4 GiB. Any other range
  // is refused, so that a size misread fetches no 4 GiB.
  const std::uint64_t prefix = (4ULL << 30) + 12345, tail = 1 << 20;
  test::NginxServer nginx(docroot.path(), {}, {}, "    location = /big.bin { if ($http_range != \"bytes=" +
                                                      std::to_string(prefix) + "-\") { return 403; } }");
  std::string error;
  ASSERT_TRUE(nginx.Start(&error)) << error;
  const fs::path local = Local("", nginx.port());
  fs::create_directories(local);
  std::ofstream(docroot / "big.bin", std::ios::binary).seekp(static_cast<std::streamoff>(prefix)) << BodyBytes(prefix, tail);
  test::WriteFile(local / "big.bin", "");
  fs::resize_file(local / "big.bin", prefix);
  test::WriteFile(home_ / "ZENPO.txt",
                  "my downloads\n" + nginx.Url("/b.bin") + "|Referer=http://r/\n" + nginx.Url("/big.bin") + "\n");
  for (SelectedEntry e; SelectNextEntry(&e) == rc::kSelectDone && !e.url.empty(); e = {}) {
    JobThread({e.url, e.authorization, e.agent, e.referer, &window_}, DefaultJobServices());
  }
  EXPECT_EQ(test::ReadFile(home_ / "ZENPO.txt"),
            "my downloads\n900|" + nginx.Url("/b.bin") + "|Referer=http://r/\n900|" + nginx.Url("/big.bin") + "\n");
  EXPECT_EQ(test::ReadFile(local / "b.bin"), "bb");
  std::ifstream big(local / "big.bin", std::ios::binary);
  std::string got(tail + 1, '\0');
  got.resize(static_cast<std::size_t>(big.seekg(static_cast<std::streamoff>(prefix)).read(got.data(), tail + 1).gcount()));
  EXPECT_TRUE(got == BodyBytes(prefix, tail)) << "the tail at its place, and nothing after it";
  const std::string log = test::ReadFile(nginx.access_log());
  EXPECT_NE(log.find("GET /b.bin HTTP/1.1\" 206 2 \"http://r/\" \"Mozilla/4.0\""), std::string::npos) << log;
}

// Lines whose names are no text in the list's encoding (Shift-JIS bytes, stray bytes):
// each URL goes out with its own bytes, lands under its own bytes, and only its own line
// gets the code. A password in such bytes is sent as those bytes.
TEST_F(DownloadUrlTest, BytesThatAreNoTextKeepEachLineItsOwnUrlNameAndCode) {
  const std::pair<std::string, std::string> names[] = {  // as the list has it, as the wire does
      {"\x93\x8c\x8b\x9e.zip", "%93%8C%8B%9E.zip"}, {"\x91\xe5\x8d\xe3.zip", "%91%E5%8D%E3.zip"},
      {"bad\x80.bin", "bad%80.bin"}, {"bad\x81.bin", "bad%81.bin"}};
  std::string list, marked;
  for (const auto& [raw, wire] : names) {
    server_.SetRoute("/m/" + wire, test::WithBody("body of " + wire));
    list += server_.Url("/m/") + raw + "|Authid=u:\xe9\r\n";
    marked += "900|" + server_.Url("/m/") + raw + "|Authid=u:\xe9\r\n";
  }
  test::WriteFile(home_ / "ZENPO.txt", list);
  for (SelectedEntry e; SelectNextEntry(&e) == rc::kSelectDone && !e.url.empty(); e = {}) {
    JobThread({e.url, e.authorization, e.agent, e.referer, &window_}, DefaultJobServices());
  }
  EXPECT_EQ(test::ReadFile(home_ / "ZENPO.txt"), marked);
  std::vector<std::string> fetched, expected;
  for (const test::ReceivedRequest& r : server_.Requests()) {
    if (!r.target.starts_with("/m/")) continue;
    fetched.push_back(r.target);
    EXPECT_EQ(r.Header("Authorization"), "Basic dTrp");
  }
  for (const auto& [raw, wire] : names) {
    expected.push_back("/m/" + wire);
    EXPECT_EQ(LocalBytes("/m/" + raw), "body of " + wire);
  }
  EXPECT_EQ(fetched, expected) << "each entry once, with its own bytes";
}

// Three TLS sites on nginx: one with a certificate of the test authority, which the
// client trusts through SSL_CERT_FILE, one whose certificate names another host, and one
// from an authority nobody trusts. A redirect crosses from plain to TLS, and a proxy
// tunnels to the trusted site.
TEST_F(DownloadUrlTest, SecureDownloadsVerifyTheSiteFollowARedirectToTlsAndTunnelThroughTinyproxy) {
  if (!test::FindProgram("nginx")) GTEST_SKIP() << "nginx is not installed";
  test::TestCertificates certs;
  std::string error;
  ASSERT_TRUE(certs.Make(&error)) << error;
  setenv("SSL_CERT_FILE", certs.Authority().c_str(), 1);
  test::TempDir docroot;
  test::WriteFile(docroot / "b.bin", "bb");
  test::NginxServer site(docroot.path(), certs.Cert("site"), certs.Key("site"));
  test::NginxServer elsewhere(docroot.path(), certs.Cert("elsewhere"), certs.Key("elsewhere"));
  test::NginxServer stranger(docroot.path(), certs.Cert("stranger"), certs.Key("stranger"));
  for (test::NginxServer* nginx : {&site, &elsewhere, &stranger}) ASSERT_TRUE(nginx->Start(&error)) << error;
  AppSettings.https = 1;
  AppSettings.loglevel = 2;
  test::WriteFile(home_ / "ZENPO.txt", elsewhere.Url("/b.bin") + "\n" + stranger.Url("/b.bin") + "\n");
  for (SelectedEntry e; SelectNextEntry(&e) == rc::kSelectDone && !e.url.empty(); e = {}) {
    JobThread({e.url, e.authorization, e.agent, e.referer, &window_}, DefaultJobServices());
  }
  EXPECT_EQ(test::ReadFile(home_ / "ZENPO.txt"), "132|" + elsewhere.Url("/b.bin") + "\n132|" + stranger.Url("/b.bin") + "\n");
  EXPECT_FALSE(fs::exists(Local("/b.bin", elsewhere.port())) || fs::exists(Local("/b.bin", stranger.port())));
  const std::string text = home_.LogText();
  const std::size_t host = text.find("TLS error->SSL: no alternative certificate subject name matches");
  EXPECT_NE(host, std::string::npos) << text;
  EXPECT_NE(text.find("TLS error->SSL certificate problem: unable to get local issuer certificate", host),
            std::string::npos) << text;
  server_.SetRoute("/to-https", test::Redirect(302, site.Url("/b.bin")));
  server_.SetRoute("/plain", test::WithBody("plain"));
  EXPECT_EQ(Download("/to-https"), 900);
  EXPECT_EQ(LocalBytes("/to-https"), "bb");
  if (!test::FindProgram("tinyproxy")) GTEST_SKIP() << "tinyproxy is not installed";
  test::TinyproxyServer proxy;
  ASSERT_TRUE(proxy.Start(&error)) << error;
  const std::string host_port = "127.0.0.1:" + std::to_string(proxy.port());
  AppSettings.proxy = std::wstring(host_port.begin(), host_port.end());
  // Each hop is judged by its own host: the one to the dotless host goes direct, and
  // without the credential, which stays with the host first asked.
  AppSettings.Authid = L"user:pass";
  const std::size_t before = server_.RequestCount();
  server_.SetRoute("/to-dotless", test::Redirect(302, "http://localhost:" + std::to_string(server_.port()) + "/plain"));
  ASSERT_EQ(Download("/to-dotless"), 900) << proxy.Log();
  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), before + 3) << "the check, the redirect, the dotless hop";
  for (std::size_t i = before; i < before + 2; ++i) {
    EXPECT_NE(requests[i].Header("Via").value_or("").find("tinyproxy"), std::string::npos);
    EXPECT_EQ(requests[i].Header("Cache-Control"), "no-cache") << "no stored copy";
  }
  EXPECT_TRUE(requests[before + 1].Header("Authorization"));
  EXPECT_FALSE(requests.back().Header("Via") || requests.back().Header("Authorization"));
  const std::string secure = site.Url("/b.bin");
  AppSettings.checkURL.assign(secure.begin(), secure.end());
  ASSERT_EQ(DownloadFrom(secure), 900) << proxy.Log();
  EXPECT_EQ(test::ReadFile(Local("/b.bin", site.port())), "bb");
  EXPECT_NE(proxy.Log().find("CONNECT 127.0.0.1:" + std::to_string(site.port())), std::string::npos) << proxy.Log();
}

}  // namespace
}  // namespace zenpo
