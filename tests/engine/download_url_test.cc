#include "engine/download_url.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>

#include "config/program_paths.h"
#include "config/settings.h"
#include "engine/transfer_workers.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "runtime/progress_state.h"
#include "runtime/run_flags.h"
#include "runtime/status_lines.h"
#include "runtime/tray_icon.h"
#include "support/fake_window.h"
#include "support/program_home.h"
#include "support/recording_message_box.h"
#include "support/test_http_server.h"

namespace zenpo {
namespace {

namespace fs = std::filesystem;
using test::BodyBytes;
using test::Route;

constexpr char kLastModified[] = "Sun, 06 Nov 1994 08:49:37 GMT";

platform::FileTime LastModifiedFileTime() {
  platform::CalendarTime t;
  t.year = 1994;
  t.month = 11;
  t.day = 6;
  t.hour = 8;
  t.minute = 49;
  t.second = 37;
  return platform::CalendarToFileTime(t);
}

Route Generated(std::uint64_t size, bool honour_range = true) {
  Route r;
  r.generated_size = size;
  r.honour_range = honour_range;
  return r;
}

// Each test downloads from its own server into a fresh program directory, with the
// connection check pointed at the same server.
class DownloadUrlTest : public ::testing::Test {
 protected:
  DownloadUrlTest() {
    ResetRunFlags();
    ResetTrayState();
    StatusLines.ClearAll();
    Route check;
    check.body = "ok";
    server_->SetRoute("/check", check);
    AppSettings.checkURL = server_->WideUrl("/check");
    SetTrayWindow(&window_);
  }
  ~DownloadUrlTest() override {
    // Abandoned workers end once the server has closed their connections; they report
    // until then, so the settings and the log stay until they have all ended.
    server_.reset();
    for (int i = 0; i < 1000 && RunningTransferWorkers() > 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(RunningTransferWorkers(), 0);
    ResetTrayState();
    ResetRunFlags();
    StatusLines.ClearAll();
  }

  ResultCode Download(const std::string& path, std::wstring agent = L"",
                      std::wstring referer = L"", std::wstring authorization = L"") {
    return DownloadUrl(server_->WideUrl(path), window_, agent, referer, authorization, L"");
  }
  // Where a path of the server lands: one directory per piece, the port's colon replaced.
  fs::path Local(const std::string& path) const {
    return home_.dir().path() / ("127.0.0.1#" + std::to_string(server_->port()) + path);
  }
  std::string LocalBytes(const std::string& path) const { return test::ReadFile(Local(path)); }
  void WriteLocal(const std::string& path, const std::string& bytes) {
    fs::create_directories(Local(path).parent_path());
    test::WriteFile(Local(path), bytes);
  }
  // The request headers of the last request for path.
  test::ReceivedRequest LastRequest(const std::string& path) const {
    const auto requests = server_->Requests();
    for (auto it = requests.rbegin(); it != requests.rend(); ++it) {
      if (it->target == path) return *it;
    }
    ADD_FAILURE() << "no request for " << path;
    return {};
  }
  bool Logged(const std::string& text) const {
    return home_.LogText().find(text) != std::string::npos;
  }

  test::ProgramHome home_;
  std::optional<test::TestHttpServer> server_{std::in_place};
  test::FakeWindow window_;
};

TEST_F(DownloadUrlTest, FreshDownloadThenSkippedByItsDate) {
  Route r = Generated(300000);
  r.headers = {{"Last-Modified", kLastModified}};
  server_->SetRoute("/d/f.zip", r);

  ASSERT_EQ(Download("/d/f.zip"), 900);
  EXPECT_EQ(LocalBytes("/d/f.zip"), BodyBytes(0, 300000));
  platform::FileTime time = 0;
  ASSERT_TRUE(platform::ReadLastWriteTime(Local("/d/f.zip").wstring(), &time));
  EXPECT_EQ(time, LastModifiedFileTime());

  const auto request = LastRequest("/d/f.zip");
  EXPECT_EQ(request.Header("Accept"), "*/*");
  EXPECT_EQ(request.Header("Range"), "bytes=0-");
  EXPECT_EQ(request.Header("User-Agent"), "Mozilla/4.0");
  EXPECT_FALSE(request.Header("Referer"));
  EXPECT_FALSE(request.Header("Authorization"));
  EXPECT_FALSE(request.Header("Cookie"));

  EXPECT_EQ(StatusLines.StateLine.Get(), L"LOADING");
  EXPECT_EQ(StatusLines.ProgressLine.Get(), L"300000 / 300000 Bytes [ 100% ]");
  EXPECT_EQ(StatusLines.ResumeLine.Get(), L"Resume OK");
  EXPECT_EQ(StatusLines.UrlLine.Get(),
            L"http://127.0.0.1:" + std::to_wstring(server_->port()) + L" /d /f.zip ");
  EXPECT_NE(StatusLines.TimeLine.Get().find(L"[ -0 ] sec"), std::wstring::npos);
  EXPECT_FALSE(window_.TimerRunning(kProgressTimerId));
  EXPECT_GT(window_.invalidations(), 0);
  {
    std::lock_guard<std::mutex> lock(SharedLock);
    EXPECT_EQ(ProgressState.receivedBytes, 300000);
    EXPECT_EQ(ProgressState.remainingBytes, 0);
  }
  // Every chunk stepped the tray's data frames.
  EXPECT_GE(window_.tray_pictures().size(), 300000u / 10240);

  ASSERT_EQ(Download("/d/f.zip"), 901);
  EXPECT_TRUE(Logged("既にファイルはDownload済(更新日一致)です"));
  EXPECT_EQ(LocalBytes("/d/f.zip"), BodyBytes(0, 300000));
}

TEST_F(DownloadUrlTest, HeadersComeFromEntryThenProfileThenSettings) {
  server_->SetRoute("/f", Generated(10));
  hostProfiles = {{L"127.0.0.1", L"http://profile/", L"ProfileAgent", L"prof:pw"}};
  AppSettings.Authid = L"settings:pw";

  ASSERT_EQ(Download("/f", L"", L"http://entry/", L"ZW50cnk6cHc="), 900);
  auto request = LastRequest("/f");
  EXPECT_EQ(request.Header("User-Agent"), "ProfileAgent");
  EXPECT_EQ(request.Header("Referer"), "http://entry/");
  EXPECT_EQ(request.Header("Authorization"), "Basic ZW50cnk6cHc=");
  // The file is complete now: the next request asks from its end.
  EXPECT_EQ(Download("/f"), 902);
  request = LastRequest("/f");
  EXPECT_EQ(request.Header("Range"), "bytes=10-");
  EXPECT_EQ(request.Header("Authorization"), "Basic cHJvZjpwdw==");  // prof:pw
  EXPECT_EQ(request.Header("Referer"), "http://profile/");

  hostProfiles.clear();
  fs::remove(Local("/f"));
  ASSERT_EQ(Download("/f", L"EntryAgent"), 900);
  request = LastRequest("/f");
  EXPECT_EQ(request.Header("User-Agent"), "EntryAgent");
  EXPECT_EQ(request.Header("Authorization"), "Basic c2V0dGluZ3M6cHc=");  // settings:pw
}

TEST_F(DownloadUrlTest, ResumesWhereTheServerHonoursRangeAndRestartsWhereItDoesNot) {
  const std::uint64_t size = 200000;
  server_->SetRoute("/honour", Generated(size));
  server_->SetRoute("/ignore", Generated(size, false));
  WriteLocal("/honour", BodyBytes(0, 70000));
  WriteLocal("/ignore", BodyBytes(0, 70000));

  ASSERT_EQ(Download("/honour"), 900);
  EXPECT_EQ(LastRequest("/honour").Header("Range"), "bytes=70000-");
  EXPECT_EQ(StatusLines.ResumeLine.Get(), L"Resume OK");
  EXPECT_EQ(server_->BodyBytesSent("/honour"), size - 70000);
  EXPECT_EQ(LocalBytes("/honour"), BodyBytes(0, size));

  ASSERT_EQ(Download("/ignore"), 900);
  EXPECT_EQ(StatusLines.ResumeLine.Get(), L"Resume NG");
  EXPECT_EQ(LocalBytes("/ignore"), BodyBytes(0, size));
}

TEST_F(DownloadUrlTest, APartialAnswerFromAnotherOffsetNeverLeavesAGap) {
  // Servers that answer every range with the same piece, whatever was asked.
  Route from_zero;
  from_zero.status = 206;
  from_zero.headers = {{"Content-Range", "bytes 0-9/10"}};
  from_zero.body = BodyBytes(0, 10);
  server_->SetRoute("/from-zero", from_zero);
  Route from_three = from_zero;
  from_three.headers = {{"Content-Range", "bytes 3-9/10"}};
  from_three.body = BodyBytes(3, 7);
  server_->SetRoute("/from-three", from_three);
  WriteLocal("/from-zero", BodyBytes(0, 5));
  WriteLocal("/from-three", BodyBytes(0, 5));

  EXPECT_EQ(Download("/from-zero"), 900);
  EXPECT_EQ(LocalBytes("/from-zero"), BodyBytes(0, 10)) << "written from its start";
  EXPECT_EQ(Download("/from-three"), 133);
  EXPECT_EQ(LocalBytes("/from-three"), BodyBytes(0, 5)) << "the file is left as it was";
}

// Over a local file of 1000 bytes: a partial body is written only where its range puts it,
// and a refusal never makes a file smaller than the server's complete.
TEST_F(DownloadUrlTest, PartialAnswersAndRefusalsThatStateNoPlaceOrASize) {
  const struct {
    std::string path;
    int status;
    std::string content_range;  // none when empty
    bool content_length;
    std::string body;
    ResultCode code;
    std::string file_after;
  } cases[] = {
      {"/no-range", 206, "", true, BodyBytes(1000, 4000), 133, BodyBytes(0, 1000)},
      {"/unknown-total", 206, "bytes 1000-4999/*", false, BodyBytes(1000, 4000), 900,
       BodyBytes(0, 5000)},
      // Larger than the server's file: emptied and asked for from 0, then refused again.
      {"/always-refused", 416, "bytes */500", true, "", 133, ""},
  };
  for (const auto& c : cases) {
    Route r;
    r.status = c.status;
    if (!c.content_range.empty()) r.headers = {{"Content-Range", c.content_range}};
    r.content_length = c.content_length;
    r.body = c.body;
    server_->SetRoute(c.path, r);
    WriteLocal(c.path, BodyBytes(0, 1000));
    EXPECT_EQ(Download(c.path), c.code) << c.path;
    const std::string after = LocalBytes(c.path);
    EXPECT_TRUE(after == c.file_after) << c.path << ": " << after.size() << " bytes";
  }
  EXPECT_EQ(LastRequest("/always-refused").Header("Range"), "bytes=0-");
}

TEST_F(DownloadUrlTest, NegativeTimeOutsMeanNoLimit) {
  Route slow = Generated(1000);
  slow.header_delay = std::chrono::milliseconds(200);
  server_->SetRoute("/check", slow);
  server_->SetRoute("/f", slow);
  AppSettings.CNTimeout = -1;
  AppSettings.DLTimeout = -1;
  EXPECT_EQ(Download("/f"), 900);
}

TEST_F(DownloadUrlTest, CompleteFilesAreSkippedBySizeOrRange) {
  server_->SetRoute("/same", Generated(5000));
  WriteLocal("/same", BodyBytes(0, 5000));
  EXPECT_EQ(Download("/same"), 902);
  EXPECT_TRUE(Logged("既にファイルはDownload済(size一致)です"));

  // 416 without any size: taken as complete.
  Route beyond;
  beyond.status = 416;
  server_->SetRoute("/beyond", beyond);
  WriteLocal("/beyond", "local");
  EXPECT_EQ(Download("/beyond"), 903);
  EXPECT_TRUE(Logged("既にファイルはDownload済(resumeオーバ)です"));
  EXPECT_EQ(LocalBytes("/beyond"), "local");

  // An error status whose length happens to equal the local size still counts as complete.
  Route missing;
  missing.status = 404;
  missing.body = "12345";
  server_->SetRoute("/gone", missing);
  WriteLocal("/gone", "abcde");
  EXPECT_EQ(Download("/gone"), 902);
}

// A local file larger than the server's cannot be the server's file: the range beyond the
// end (416 with the server's size) makes the engine start it over.
TEST_F(DownloadUrlTest, LocalFileLargerThanTheServersIsStartedOver) {
  server_->SetRoute("/f", Generated(1000));
  WriteLocal("/f", std::string(5000, 'x'));
  ASSERT_EQ(Download("/f"), 900);
  EXPECT_EQ(LocalBytes("/f"), BodyBytes(0, 1000));
  EXPECT_EQ(LastRequest("/f").Header("Range"), "bytes=0-");
}

TEST_F(DownloadUrlTest, ErrorStatusesAndFailedRequests) {
  Route missing;
  missing.status = 404;
  missing.body = "not here";
  server_->SetRoute("/missing", missing);
  EXPECT_EQ(Download("/missing"), 133);
  EXPECT_TRUE(Logged("サーバからerror STATUSが返却されました"));
  EXPECT_TRUE(Logged("HTTPstatus->404"));
  EXPECT_FALSE(fs::exists(Local("/missing")));

  // Redirects are followed; the file keeps the name of the URL asked for.
  server_->SetRoute("/old", test::Redirect(302, "/new"));
  server_->SetRoute("/new", Generated(3000));
  EXPECT_EQ(Download("/old"), 900);
  EXPECT_EQ(LocalBytes("/old"), BodyBytes(0, 3000));

  EXPECT_EQ(DownloadUrl(L"http://127.0.0.1:1/refused", window_, L"", L"", L"", L""), 132);
  EXPECT_TRUE(Logged("GETリクエストの送信でerrorが発生しました"));
}

TEST_F(DownloadUrlTest, ConnectionCheckFailsOrTimesOut) {
  test::RecordingMessageBox boxes;
  AppSettings.checkURL = L"http://127.0.0.1:1/";
  EXPECT_EQ(Download("/f"), 104);
  Route hang;
  hang.never_answer = true;
  server_->SetRoute("/hang", hang);
  AppSettings.checkURL = server_->WideUrl("/hang");
  AppSettings.CNTimeout = 300;
  EXPECT_EQ(Download("/f"), 104);
  EXPECT_EQ(boxes.texts(), (std::vector<std::wstring>{L"ネットワーク接続でerrorが発生しました",
                                                      L"ネットワーク接続がタイムアウトしました"}));
  // The abandoned check does not disturb the next download.
  AppSettings.checkURL = server_->WideUrl("/check");
  server_->SetRoute("/f", Generated(50000));
  EXPECT_EQ(Download("/f"), 900);
  EXPECT_EQ(LocalBytes("/f"), BodyBytes(0, 50000));
  // A check page answering 404 still passes.
  AppSettings.checkURL = server_->WideUrl("/no-such-page");
  EXPECT_EQ(Download("/f"), 902);
}

TEST_F(DownloadUrlTest, RequestWithoutHeadersWithinTheTimeOutRestartsTheProgram) {
  Route hang;
  hang.never_answer = true;
  server_->SetRoute("/hang", hang);
  AppSettings.DLTimeout = 300;
  EXPECT_EQ(Download("/hang"), 103);
  EXPECT_TRUE(Logged("WinInetハンドル(OpenUrl)リセット"));
  // The late end of the abandoned open writes nothing into the next download, and headers
  // that come late but within the time-out are waited for.
  Route slow = Generated(40000);
  slow.header_delay = std::chrono::milliseconds(300);
  server_->SetRoute("/f", slow);
  AppSettings.DLTimeout = 2000;
  EXPECT_EQ(Download("/f"), 900);
  EXPECT_EQ(LocalBytes("/f"), BodyBytes(0, 40000));
}

// An open whose handle has arrived but whose worker has not yet ended when the time-out
// expires is given up with 200. The worker is held in its last trace report.
TEST_F(DownloadUrlTest, OpenTimedOutAfterItsHandleArrived) {
  server_->SetRoute("/f", Generated(1000));
  AppSettings.loglevel = 3;
  AppSettings.msglevel = 9;
  AppSettings.DLTimeout = 300;
  std::mutex mutex;
  std::condition_variable cv;
  int ends = 0;
  bool release = false;
  platform::SetMessageBoxHandler([&](std::wstring_view text) {
    if (text != L"InternetOpenUrl thread end") return;
    std::unique_lock<std::mutex> lock(mutex);
    // The first end is the connection check's; the second is the request's.
    if (++ends == 2) cv.wait(lock, [&] { return release; });
  });
  EXPECT_EQ(Download("/f"), 200);
  {
    std::lock_guard<std::mutex> lock(mutex);
    release = true;
  }
  cv.notify_all();
  platform::SetMessageBoxHandler(nullptr);
  EXPECT_TRUE(Logged("GETリクエストがタイムアウトしました"));
  EXPECT_FALSE(fs::exists(Local("/f")));
}

TEST_F(DownloadUrlTest, StalledBodyTimesOutAndResumesLater) {
  Route r = Generated(100000);
  r.stall_after = 30000;
  server_->SetRoute("/f", r);
  AppSettings.DLTimeout = 500;
  EXPECT_EQ(Download("/f"), 400);
  EXPECT_TRUE(Logged("Downloadデータ受信がタイムアウトしました"));
  // Every received byte is in the file; the progress timer is left to the caller.
  EXPECT_EQ(LocalBytes("/f"), BodyBytes(0, 30000));
  EXPECT_TRUE(window_.TimerRunning(kProgressTimerId));

  server_->SetRoute("/f", Generated(100000));
  EXPECT_EQ(Download("/f"), 900);
  EXPECT_EQ(LastRequest("/f").Header("Range"), "bytes=30000-");
  EXPECT_EQ(LocalBytes("/f"), BodyBytes(0, 100000));
}

// The library gives up a silent body after its own 4 s, before the engine's wait ends.
TEST_F(DownloadUrlTest, ReadFailsWhenTheLibraryGivesUp) {
  Route r = Generated(100000);
  r.stall_after = 20000;
  server_->SetRoute("/f", r);
  AppSettings.DLTimeout = 10000;
  EXPECT_EQ(Download("/f"), 500);
  EXPECT_TRUE(Logged("Downloadデータ受信でerrorが発生しました"));
  EXPECT_EQ(LocalBytes("/f"), BodyBytes(0, 20000));
}

TEST_F(DownloadUrlTest, ShortAndLongBodiesFailTheSizeCheck) {
  Route dropped = Generated(100000);
  dropped.drop_after = 50000;
  server_->SetRoute("/short", dropped);
  EXPECT_EQ(Download("/short"), 600);
  EXPECT_TRUE(Logged("Downloadが途中で中断されました(WEBサーバfilesize > DL filesize)"));
  EXPECT_EQ(LocalBytes("/short"), BodyBytes(0, 50000));
  server_->SetRoute("/short", Generated(100000));
  EXPECT_EQ(Download("/short"), 900);
  EXPECT_EQ(LocalBytes("/short"), BodyBytes(0, 100000));

  // A partial answer that sends more than its range announces.
  Route longer;
  longer.status = 206;
  longer.headers = {{"Content-Range", "bytes 100-199/200"}};
  longer.body = std::string(150, 'b');
  server_->SetRoute("/long", longer);
  WriteLocal("/long", std::string(100, 'a'));
  EXPECT_EQ(Download("/long"), 136);
  EXPECT_TRUE(Logged("ファイルサイズ不正(WEBサーバfilesize < DL filesize)"));
  EXPECT_EQ(LocalBytes("/long"), std::string(100, 'a') + std::string(150, 'b'));
}

TEST_F(DownloadUrlTest, BodyWithoutLengthIsTakenAsItComes) {
  Route r = Generated(70000, false);
  r.content_length = false;
  server_->SetRoute("/f", r);
  WriteLocal("/f", "stale local bytes");
  EXPECT_EQ(Download("/f"), 900);
  EXPECT_EQ(LocalBytes("/f"), BodyBytes(0, 70000));
  EXPECT_EQ(StatusLines.ProgressLine.Get(), L"70000 / 0 Bytes [ 0% ]");
  std::lock_guard<std::mutex> lock(SharedLock);
  EXPECT_EQ(ProgressState.remainingBytes, -70000);
}

TEST_F(DownloadUrlTest, UserAbortBeforeTheRequestAndBetweenChunks) {
  test::RecordingMessageBox boxes;
  server_->SetRoute("/f", Generated(400000));
  CloseRequested = 1;
  EXPECT_EQ(Download("/f"), 101);
  EXPECT_EQ(server_->RequestCount(), 0u);
  CloseRequested = 0;

  // Slow chunks (NoWait off) give the pause time to arrive mid-body.
  AppSettings.DLBuff = 1000;
  NoWait = 0;
  ChunkWait = 5;
  std::thread pauser([&] {
    while (LocalBytes("/f").size() < 20000) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    PauseRequested = 1;
  });
  EXPECT_EQ(Download("/f"), 101);
  pauser.join();
  const std::string partial = LocalBytes("/f");
  EXPECT_LT(partial.size(), 400000u);
  EXPECT_EQ(partial, BodyBytes(0, partial.size()));
  EXPECT_EQ(boxes.texts(), (std::vector<std::wstring>(2, L"Downloadがユーザ指示で中断されました")));

  PauseRequested = 0;
  NoWait = 1;
  EXPECT_EQ(Download("/f"), 900);
  EXPECT_EQ(LocalBytes("/f"), BodyBytes(0, 400000));
}

TEST_F(DownloadUrlTest, LocalFileThatCannotBeWritten) {
  // A file where the host's directory belongs.
  test::WriteFile(Local(""), "in the way");
  // A whole-file answer empties the file first; a partial one appends at once.
  server_->SetRoute("/f", Generated(1000, false));
  EXPECT_EQ(Download("/f"), 134);
  EXPECT_TRUE(Logged("Downloadファイルのクリアでerrorが発生しました"));
  server_->SetRoute("/g", Generated(1000));
  EXPECT_EQ(Download("/g"), 135);
  EXPECT_TRUE(Logged("Download出力ファイルのオープンでerrorが発生しました"));
  EXPECT_EQ(test::ReadFile(Local("")), "in the way");
}

// A full disk: the write that does not fit ends the transfer at once, and the file holds
// an exact prefix that a later run completes.
TEST_F(DownloadUrlTest, FullDiskEndsTheTransferWithAnExactPrefix) {
  server_->SetRoute("/f", Generated(300000));
  struct sigaction ignore = {}, old_action = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &old_action);
  rlimit old_limit;
  getrlimit(RLIMIT_FSIZE, &old_limit);
  rlimit limit = old_limit;
  limit.rlim_cur = 100000;
  setrlimit(RLIMIT_FSIZE, &limit);
  const ResultCode result = Download("/f");
  setrlimit(RLIMIT_FSIZE, &old_limit);
  sigaction(SIGXFSZ, &old_action, nullptr);

  EXPECT_EQ(result, 135);
  const std::string partial = LocalBytes("/f");
  EXPECT_LE(partial.size(), 100000u);
  EXPECT_EQ(partial, BodyBytes(0, partial.size()));
  EXPECT_EQ(Download("/f"), 900);
  EXPECT_EQ(LocalBytes("/f"), BodyBytes(0, 300000));
}

TEST_F(DownloadUrlTest, NoUrlWritesOutsideTheDownloadDirectory) {
  fs::create_directory(home_ / "dl");
  BuildLogPath(L"dl");
  server_->SetRoute("/x", Generated(100));
  const std::wstring base = L"http://127.0.0.1:" + std::to_wstring(server_->port());
  EXPECT_EQ(DownloadUrl(base + L"/../../x", window_, L"", L"", L"", L""), 900);
  AppSettings.mkdir = 0;
  EXPECT_EQ(DownloadUrl(base + L"/..", window_, L"", L"", L"", L""), 133);
  // Only the download directory (with the log in it) holds anything new.
  for (const auto& entry : fs::directory_iterator(home_.dir().path())) {
    EXPECT_EQ(entry.path().filename(), "dl");
  }
  EXPECT_EQ(test::ReadFile(home_ / ("dl/127.0.0.1#" + std::to_string(server_->port()) + "/##/##/x")),
            BodyBytes(0, 100));
}

// Sizes beyond 32 bits: a sparse 3 GiB prefix is resumed, and a complete one skipped.
TEST_F(DownloadUrlTest, FilesOfMoreThanTwoGibibytes) {
  const std::uint64_t prefix = 3ULL << 30;
  server_->SetRoute("/big", Generated(prefix + 5000));
  WriteLocal("/big", "");
  fs::resize_file(Local("/big"), prefix);
  ASSERT_EQ(Download("/big"), 900);
  EXPECT_EQ(LastRequest("/big").Header("Range"), "bytes=3221225472-");
  EXPECT_EQ(fs::file_size(Local("/big")), prefix + 5000);
  std::ifstream in(Local("/big"), std::ios::binary);
  in.seekg(static_cast<std::streamoff>(prefix));
  std::string tail(5000, '\0');
  in.read(tail.data(), 5000);
  EXPECT_EQ(tail, BodyBytes(prefix, 5000));
  EXPECT_EQ(StatusLines.ProgressLine.Get(), L"3221230472 / 3221230472 Bytes [ 100% ]");
  EXPECT_EQ(Download("/big"), 902);
}

}  // namespace
}  // namespace zenpo
