// DownloadUrl: request set-up, connection check, the response's evaluation, the body
// transfer and the finished file.
#include "engine/download_url.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "config/program_paths.h"
#include "config/settings.h"
#include "engine/elapsed_ms.h"
#include "engine/local_file.h"
#include "engine/local_path.h"
#include "engine/request_headers.h"
#include "engine/response_sizes.h"
#include "engine/response_verdict.h"
#include "engine/transfer_workers.h"
#include "platform/files.h"
#include "platform/inet.h"
#include "platform/text.h"
#include "report/report_message.h"
#include "runtime/progress_state.h"
#include "runtime/run_flags.h"
#include "runtime/status_lines.h"
#include "runtime/tray_icon.h"

namespace zenpo {
namespace {

using std::chrono::milliseconds;
using platform::HINTERNET;

// The pause before and after giving up a call that timed out.
constexpr milliseconds kResetPause(500);
// The longest a transfer goes without measuring its file for the progress line.
constexpr milliseconds kMeasurePeriod(50);
// The library's own time-outs, below the engine's waits.
constexpr std::uint32_t kLibraryTimeoutMs = 4000;
// Query texts that do not fit these capacities count as absent.
constexpr std::size_t kMaxRawHeaderChars = 2606;
constexpr std::size_t kMaxHeaderValueChars = 63;

constexpr wchar_t kAbortText[] = L"Downloadがユーザ指示で中断されました";
constexpr wchar_t kOutputOpenText[] = L"Download出力ファイルのオープンでerrorが発生しました";
constexpr wchar_t kFileInUseText[] = L"Download出力ファイルは他のZENPOが書込中です";

// A negative time-out setting means no limit: the wait lasts as long as the call. A
// century stands for that, short enough that no deadline computed from it overflows.
constexpr milliseconds kNoLimit = std::chrono::hours(24 * 365 * 100);

milliseconds SettingMs(std::int32_t value) { return value < 0 ? kNoLimit : milliseconds(value); }

// One run of DownloadUrl. Owns the root and request handles; whatever is still held when
// it ends is closed, except after a call that could not be taken back (103), whose
// handles are left as they are for the restart.
class Download {
 public:
  Download(const std::wstring& url, platform::RepaintTarget& window) : url_(url), window_(window) {}
  Download(const Download&) = delete;
  Download& operator=(const Download&) = delete;
  ~Download() { CloseAll(); }

  ResultCode Run(RequestIdentity entry);

 private:
  ResultCode RunLocked(const RequestIdentity& id);
  // Reports an outcome and returns its code, or 102 when the log is unusable.
  static ResultCode Fail(ResultCode code, std::wstring_view text,
                         int msg_level = level::kNotShown) {
    return ReportMessage(text, level::kOutcome, msg_level) == rc::kLogUnusable ? rc::kLogUnusable
                                                                               : code;
  }
  static bool Trace(std::wstring_view text, int log_level = level::kTrace) {
    return ReportMessage(text, log_level, level::kNotShown) != rc::kLogUnusable;
  }
  // Fail for the local file that could not be opened, first naming the other user's link
  // when that is why.
  ResultCode FailOnFile(ResultCode code, std::wstring_view text) const {
    const std::wstring link = platform::ForeignLinkOnPath(path_);
    if (!link.empty() &&
        !Trace(L"他のユーザのリンクには書き込みません->" + platform::ShownText(link), level::kOutcome)) {
      return rc::kLogUnusable;
    }
    return Fail(code, text);
  }

  void CloseRequest() {
    if (request_) platform::InternetCloseHandle(request_);
    request_.reset();
  }
  void CloseAll() {
    CloseRequest();
    if (root_) platform::InternetCloseHandle(root_);
    root_.reset();
  }
  // A call that cannot be taken back keeps its handles: the program restarts instead.
  void LeaveHandlesOpen() {
    request_.reset();
    root_.reset();
  }

  ResultCode OpenRoot(const std::wstring& agent);
  ResultCode CheckConnection();
  ResultCode OpenRequest(const std::wstring& headers, bool may_start_over, bool* start_over);
  ResultCode Transfer();
  ResultCode HandleChunk(const char* data, std::uint32_t count);
  ResultCode Finish();
  void PublishProgress(std::int64_t received, bool last);

  const std::wstring& url_;
  platform::RepaintTarget& window_;
  HINTERNET root_;
  HINTERNET request_;
  std::wstring path_;
  // Held from the first look at the local file to the last, so that no other instance
  // resumes, empties or appends to it meanwhile.
  platform::FileWriteLock file_lock_;
  std::int64_t local_size_ = 0;         // the size the download resumes from
  platform::FileTime local_time_ = 0;   // the local file's last-write time, 0 when unread
  platform::FileTime server_time_ = 0;  // Last-Modified, 0 when absent
  std::int64_t expected_ = 0;           // the server's full size, 0 when unknown
  std::int64_t percent_ = 0;            // of expected_ in the file, for the progress line
  // The body's file and when it is measured next; used only by the read worker's chunk
  // handler while it runs.
  platform::AppendDescriptor out_;
  std::chrono::steady_clock::time_point next_measure_;
};

ResultCode Download::Run(RequestIdentity entry) {
  if (!AbortRequested()) StatusLines.StateLine.Set(L"OPEN URL");
  window_.Invalidate();

  const RequestIdentity id =
      ChooseRequestIdentity(url_, std::move(entry), hostProfiles, AppSettings);
  if (ResultCode rc = OpenRoot(id.agent); rc != 0) return rc;

  const std::vector<std::wstring> pieces = UrlPieces(url_);
  StatusLines.UrlLine.Set(
      FormatUrlLine(pieces, url_.starts_with(L"https://") ? L"https://" : L"http://"));
  window_.Invalidate();
  // A URL without a name, or one whose path does not fit, has no file to write to.
  if (!MakeLocalPath(ProgramPaths.DownloadDir, pieces, AppSettings.mkdir != 0, &path_)) {
    CloseAll();
    return Fail(rc::kOutputOpenFailed, kOutputOpenText);
  }
  // A file that cannot be opened at all is left to the opens below, which report it.
  if (file_lock_.Acquire(path_) == platform::FileWriteLock::Result::kInUse) {
    CloseAll();
    return Fail(rc::kFileInUse, kFileInUseText);
  }
  const ResultCode code = RunLocked(id);
  // Only a download that succeeded keeps an empty file the lock had to create.
  file_lock_.Release(code != rc::kDownloaded);
  return code;
}

ResultCode Download::RunLocked(const RequestIdentity& id) {
  const std::wstring authorization =
      id.authorization.empty() ? EncodeCredential(id.credential) : id.authorization;

  // A second round follows only when the server's file turned out smaller than the local
  // one: the local file is emptied and asked for from its start.
  for (int round = 0;; ++round) {
    local_size_ = LocalFileSize(path_);
    local_time_ = LocalFileTime(path_);
    const std::wstring headers = BuildHeaderBlock(id.referer, local_size_, authorization);
    if (!Trace(headers, level::kDetail)) return rc::kLogUnusable;
    if (AbortRequested()) {
      CloseAll();
      return Fail(rc::kUserAbort, kAbortText, level::kShown);
    }
    if (round == 0) {
      if (ResultCode rc = CheckConnection(); rc != 0) return rc;
    }
    bool start_over = false;
    if (ResultCode rc = OpenRequest(headers, round == 0, &start_over); rc != 0) return rc;
    if (!start_over) break;
  }
  return Transfer();
}

ResultCode Download::OpenRoot(const std::wstring& agent) {
  const std::wstring& proxy = AppSettings.proxy;
  root_ = proxy.empty()
              ? platform::InternetOpen(agent, platform::InternetAccess::kDirect, L"", L"")
              : platform::InternetOpen(agent, platform::InternetAccess::kProxy, proxy, L"<local>");
  if (!root_) {
    return Fail(rc::kInetInitFailed, L"WinInet DLL の初期化でerrorが発生しました", level::kShown);
  }
  namespace o = platform::inet_option;
  for (int option : {o::kConnectTimeout, o::kReceiveTimeout, o::kSendTimeout,
                     o::kDataReceiveTimeout, o::kDataSendTimeout, o::kListenTimeout}) {
    platform::InternetSetOption(root_, option, kLibraryTimeoutMs);
  }
  platform::InternetSetOption(root_, o::kConnectRetries, 0);
  platform::InternetSetOption(root_, o::kConnectBackoff, 0);
  platform::InternetSetOption(root_, o::kFromCacheTimeout, kLibraryTimeoutMs);
  if (AppSettings.https != 0) platform::InternetSetOption(root_, o::kFollowSchemeChanges, 1);
  return 0;
}

// The engine's own reachability test: an open of checkURL must give a request handle,
// whatever its status. The check sends no extra headers.
ResultCode Download::CheckConnection() {
  if (!Trace(L"start InternetCheckConnection")) return rc::kLogUnusable;
  OpenUrlWorker worker(root_, AppSettings.checkURL, L"");
  if (worker.started() && !worker.WaitFor(SettingMs(AppSettings.CNTimeout))) {
    const HINTERNET pending = worker.request();
    std::this_thread::sleep_for(kResetPause);
    if (pending) platform::InternetCloseHandle(pending);
    // Closing the root also makes the pending open return.
    CloseAll();
    std::this_thread::sleep_for(kResetPause);
    worker.Abandon();
    return Fail(rc::kNoNetwork, L"ネットワーク接続がタイムアウトしました", level::kShown);
  }
  worker.Abandon();
  if (!Trace(L"end InternetCheckConnection")) return rc::kLogUnusable;
  const HINTERNET check = worker.request();
  if (!check) {
    CloseAll();
    return Fail(rc::kNoNetwork, L"ネットワーク接続でerrorが発生しました", level::kShown);
  }
  // The check's answer plays no further part; its connection is not kept.
  platform::InternetCloseHandle(check);
  return 0;
}

ResultCode Download::OpenRequest(const std::wstring& headers, bool may_start_over,
                                 bool* start_over) {
  if (!Trace(L"start InternetOpenUrl")) return rc::kLogUnusable;
  OpenUrlWorker worker(root_, url_, headers);
  if (worker.started() && !worker.WaitFor(SettingMs(AppSettings.DLTimeout))) {
    const HINTERNET pending = worker.request();
    std::this_thread::sleep_for(kResetPause);
    if (!pending || !platform::InternetCloseHandle(pending)) {
      worker.Abandon();
      LeaveHandlesOpen();
      return Fail(rc::kRestart, L"WinInetハンドル(OpenUrl)リセット");
    }
    CloseAll();
    std::this_thread::sleep_for(kResetPause);
    worker.Abandon();
    return Fail(rc::kRequestTimeout, L"GETリクエストがタイムアウトしました");
  }
  request_ = worker.request();
  worker.Abandon();
  if (!Trace(L"end InternetOpenUrl")) return rc::kLogUnusable;
  if (!request_) {
    CloseAll();
    return Fail(rc::kRequestFailed, L"GETリクエストの送信でerrorが発生しました");
  }

  std::wstring raw;
  platform::HttpQueryInfo(request_, platform::inet_query::kRawHeadersCrlf, &raw);
  if (raw.size() > kMaxRawHeaderChars) raw.clear();
  if (!Trace(L"end HttpQueryInfo")) return rc::kLogUnusable;
  if (!Trace(L"HTTPresponse->" + raw, level::kDetail)) return rc::kLogUnusable;

  platform::CalendarTime modified;
  server_time_ = platform::HttpQueryLastModified(request_, &modified)
                     ? platform::CalendarToFileTime(modified)
                     : 0;
  auto query_value = [this](int info_level) {
    std::wstring value;
    platform::HttpQueryInfo(request_, info_level, &value);
    if (value.size() > kMaxHeaderValueChars) value.clear();
    return value;
  };
  const std::wstring content_range = query_value(platform::inet_query::kContentRange);
  const std::wstring content_length = query_value(platform::inet_query::kContentLength);
  const std::wstring status_text = query_value(platform::inet_query::kStatusCode);
  const ResponseVerdict verdict = EvaluateResponse(
      {local_size_, local_time_, server_time_, status_text, content_range, content_length,
       !may_start_over});
  if (verdict.code == rc::kSameDate) {
    CloseAll();
    return Fail(rc::kSameDate, L"既にファイルはDownload済(更新日一致)です");
  }
  StatusLines.ResumeLine.Set(verdict.resume_ok ? L"Resume OK" : L"Resume NG");
  expected_ = verdict.expected;
  if (verdict.code == rc::kSameSize) {
    CloseAll();
    return Fail(rc::kSameSize, L"既にファイルはDownload済(size一致)です");
  }
  percent_ = expected_ > 0 ? ProgressPercent(local_size_, expected_) : 0;
  StatusLines.ProgressLine.Set(FormatProgressLine(local_size_, expected_, percent_));
  window_.Invalidate();

  if (!Trace(L"HTTPstatus->" + status_text, level::kOutcome)) return rc::kLogUnusable;
  switch (verdict.code) {
    case 0:
      break;
    case rc::kRangeBeyondEnd:
      CloseAll();
      return Fail(rc::kRangeBeyondEnd, L"既にファイルはDownload済(resumeオーバ)です");
    default:
      CloseAll();
      return Fail(rc::kHttpError, L"サーバからerror STATUSが返却されました");
  }
  if (verdict.plan != BodyPlan::kAppend) {
    if (verdict.plan == BodyPlan::kAskAgain) CloseRequest();
    if (!platform::EmptyFile(path_)) {
      CloseAll();
      return FailOnFile(rc::kClearFailed, L"Downloadファイルのクリアでerrorが発生しました");
    }
    if (verdict.plan == BodyPlan::kAskAgain) {
      *start_over = true;
      return 0;
    }
  }
  if (AbortRequested()) {
    CloseAll();
    return Fail(rc::kUserAbort, kAbortText, level::kShown);
  }
  return 0;
}

// Counts a chunk and, for the first and the last chunk and otherwise at most once per
// kMeasurePeriod, measures the file and publishes the progress. The size shown is the
// size a later run would resume from. The window shows the line a few times a second, so
// a measurement per chunk (a system call every 8 KiB) would give sizes nobody sees.
void Download::PublishProgress(std::int64_t received, bool last) {
  const auto now = std::chrono::steady_clock::now();
  if (!last && now < next_measure_) {
    std::lock_guard<std::mutex> lock(SharedLock);
    ProgressState.receivedBytes += received;
    return;
  }
  next_measure_ = now + kMeasurePeriod;
  // The open file's own size spares a path lookup.
  std::int64_t size = out_.Size();
  if (size < 0) size = LocalFileSize(path_);
  {
    std::lock_guard<std::mutex> lock(SharedLock);
    ProgressState.receivedBytes += received;
    ProgressState.remainingBytes = expected_ - size;
    if (expected_ > 0) percent_ = ProgressPercent(size, expected_);
    StatusLines.ProgressLine.Set(FormatProgressLine(size, expected_, percent_));
  }
  window_.Invalidate();
}

// One chunk, on the read worker's thread: into the file at once, then the tray, the
// pause between chunks, the abort check and the progress.
ResultCode Download::HandleChunk(const char* data, std::uint32_t count) {
  // A block that does not reach the file whole (a full disk) ends the transfer here, so
  // the file stays a prefix of the server's file that a later run can resume.
  if ((!out_.is_open() && !out_.Open(path_)) || !out_.Write(data, count)) {
    return rc::kOutputOpenFailed;
  }
  UpdateTrayIcon(tray_state::kChunkWritten);
  if (NoWait.load() == 0) std::this_thread::sleep_for(milliseconds(ChunkWait.load()));
  if (AbortRequested()) return rc::kUserAbort;
  PublishProgress(count, count == 0);
  return 0;
}

ResultCode Download::Transfer() {
  StatusLines.StateLine.Set(L"LOADING");
  window_.Invalidate();
  {
    std::lock_guard<std::mutex> lock(SharedLock);
    ProgressState.transferStart = LocalFileTimeNow();
    ProgressState.receivedBytes = 0;
  }
  window_.SetTimer(timer_id::kProgress, kProgressTimerPeriodMs);

  const auto read_size = static_cast<std::uint32_t>(
      std::clamp<std::int32_t>(AppSettings.DLBuff, kMinDLBuff, kMaxDLBuff));
  ReadWorker reader(request_, read_size, [this](const char* data, std::uint32_t count) {
    return HandleChunk(data, count);
  });
  if (!reader.Start()) {
    CloseAll();
    return Fail(rc::kReadFailed, L"Downloadデータ受信でerrorが発生しました");
  }
  const ReadWorker::End end = reader.Wait(SettingMs(AppSettings.DLTimeout));
  // From here on the worker touches neither the file nor the progress. The line shows
  // what the file holds at the end, whatever the last throttled measure saw.
  PublishProgress(0, true);
  out_.Close();
  switch (end) {
    case ReadWorker::End::kTimedOut:
      std::this_thread::sleep_for(kResetPause);
      // Closing the request makes the pending read return.
      if (!platform::InternetCloseHandle(request_)) {
        LeaveHandlesOpen();
        return Fail(rc::kRestart, L"WinInetハンドル(ReadFile)リセット");
      }
      request_.reset();
      CloseAll();
      std::this_thread::sleep_for(kResetPause);
      return Fail(rc::kReadTimeout, L"Downloadデータ受信がタイムアウトしました");
    case ReadWorker::End::kReadFailed:
      CloseAll();
      return Fail(rc::kReadFailed, L"Downloadデータ受信でerrorが発生しました");
    case ReadWorker::End::kStopped:
      CloseAll();
      if (reader.stop_code() == rc::kUserAbort) {
        return Fail(rc::kUserAbort, kAbortText, level::kShown);
      }
      return FailOnFile(rc::kOutputOpenFailed, kOutputOpenText);
    case ReadWorker::End::kBodyEnded:
      break;
  }
  CloseAll();
  window_.KillTimer(timer_id::kProgress);
  return Finish();
}

ResultCode Download::Finish() {
  {
    std::lock_guard<std::mutex> lock(SharedLock);
    WriteTransferStatistics(LocalFileTimeNow());
  }
  window_.Invalidate();
  if (expected_ > 0) {
    const std::int64_t size = LocalFileSize(path_);
    if (expected_ > size) {
      return Fail(rc::kTransferShort,
                  L"Downloadが途中で中断されました(WEBサーバfilesize > DL filesize)");
    }
    if (expected_ < size) {
      return Fail(rc::kFileTooLarge, L"ファイルサイズ不正(WEBサーバfilesize < DL filesize)");
    }
  }
  if (server_time_ == 0) return rc::kDownloaded;
  switch (platform::WriteLastWriteTime(path_, server_time_)) {
    case platform::SetTimeResult::kOpenFailed:
      return FailOnFile(rc::kTimeOpenFailed,
                        L"Downloadファイルのタイムスタンプ初期化でerrorが発生しました");
    case platform::SetTimeResult::kSetFailed:
      return Fail(rc::kTimeSetFailed, L"Downloadファイルのタイムスタンプ更新でerrorが発生しました");
    case platform::SetTimeResult::kOk:
      break;
  }
  return rc::kDownloaded;
}

}  // namespace

ResultCode DownloadUrl(const std::wstring& url, platform::RepaintTarget& window, std::wstring agent,
                       std::wstring referer, std::wstring authorization) {
  Download download(url, window);
  return download.Run({std::move(agent), std::move(referer), std::move(authorization), {}});
}

}  // namespace zenpo
