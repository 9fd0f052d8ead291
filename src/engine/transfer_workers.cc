// OpenUrlWorker and ReadWorker with their own records.
#include "engine/transfer_workers.h"

#include <algorithm>
#include <atomic>
#include <functional>

#include "report/report_message.h"

namespace zenpo {
namespace {

std::atomic<int> running_workers{0};

// Reported around every read; their lengths are counted once, not per chunk.
constexpr std::wstring_view kReadStart = L"InternetReadFile thread start";
constexpr std::wstring_view kReadEnd = L"InternetReadFile thread end";

// Counts a worker body from before its thread starts to after its last step.
platform::WorkerThread StartCounted(std::function<void()> body) {
  ++running_workers;
  platform::WorkerThread thread = platform::WorkerThread::Start([body = std::move(body)] {
    body();
    --running_workers;
  });
  if (!thread.started()) --running_workers;
  return thread;
}

}  // namespace

int RunningTransferWorkers() { return running_workers.load(); }

struct OpenUrlWorker::Record {
  platform::HINTERNET internet;
  std::wstring url;
  std::wstring headers;
  mutable std::mutex mutex;
  platform::HINTERNET request;  // guarded by mutex
};

OpenUrlWorker::OpenUrlWorker(platform::HINTERNET internet, std::wstring url,
                             std::wstring headers)
    : record_(std::make_shared<Record>()) {
  record_->internet = std::move(internet);
  record_->url = std::move(url);
  record_->headers = std::move(headers);
  thread_ = StartCounted([record = record_] { Run(record); });
}

OpenUrlWorker::~OpenUrlWorker() { thread_.Abandon(); }

platform::HINTERNET OpenUrlWorker::request() const {
  std::lock_guard<std::mutex> lock(record_->mutex);
  return record_->request;
}

void OpenUrlWorker::Run(const std::shared_ptr<Record>& record) {
  if (ReportMessage(L"InternetOpenUrl thread start", level::kTrace, level::kNotShown) ==
      rc::kLogUnusable) {
    return;
  }
  platform::HINTERNET request =
      platform::InternetOpenUrl(record->internet, record->url, record->headers);
  // The library keeps its reason on this thread: a certificate refused or a handshake
  // failed, which the log shows at the detail level.
  if (!request) {
    const std::wstring reason = platform::InternetLastSecurityError();
    if (!reason.empty()) ReportMessage(L"TLS error->" + reason, level::kDetail, level::kNotShown);
  }
  {
    std::lock_guard<std::mutex> lock(record->mutex);
    record->request = std::move(request);
  }
  ReportMessage(L"InternetOpenUrl thread end", level::kTrace, level::kNotShown);
}

struct ReadWorker::Record {
  platform::HINTERNET request;
  std::uint32_t size = 0;
  ChunkHandler handler;
  std::mutex mutex;
  std::condition_variable cv;
  // Guarded by mutex.
  bool reading = false;
  std::chrono::steady_clock::time_point read_start;
  bool ended = false;
  bool abandoned = false;
  End end = End::kBodyEnded;
  std::int32_t stop_code = 0;
};

ReadWorker::ReadWorker(platform::HINTERNET request, std::uint32_t size, ChunkHandler handler)
    : record_(std::make_shared<Record>()) {
  record_->request = std::move(request);
  record_->size = std::min(size, kMaxReadSize);
  record_->handler = std::move(handler);
}

ReadWorker::~ReadWorker() { thread_.Abandon(); }

bool ReadWorker::Start() {
  thread_ = StartCounted([record = record_] { Run(record); });
  return thread_.started();
}

ReadWorker::End ReadWorker::Wait(std::chrono::milliseconds read_timeout) {
  std::unique_lock<std::mutex> lock(record_->mutex);
  while (!record_->ended) {
    if (!record_->reading) {
      // A chunk is being handled; the next read has not started.
      record_->cv.wait_for(lock, read_timeout);
      continue;
    }
    const auto deadline = record_->read_start + read_timeout;
    if (std::chrono::steady_clock::now() >= deadline) {
      record_->abandoned = true;
      return End::kTimedOut;
    }
    record_->cv.wait_until(lock, deadline);
  }
  stop_code_ = record_->stop_code;
  return record_->end;
}

void ReadWorker::Run(const std::shared_ptr<Record>& record) {
  std::unique_lock<std::mutex> lock(record->mutex);
  auto finish = [&](End end, std::int32_t code) {
    record->end = end;
    record->stop_code = code;
    record->ended = true;
    record->cv.notify_all();
  };
  for (;;) {
    if (record->abandoned) return;
    record->reading = true;
    record->read_start = std::chrono::steady_clock::now();
    lock.unlock();
    bool ok = false;
    const char* data = nullptr;
    std::uint32_t count = 0;
    if (ReportMessage(kReadStart, level::kTrace, level::kNotShown) !=
        rc::kLogUnusable) {
      // The bytes stay where the HTTP client put them until the next read.
      ok = platform::InternetReadFile(record->request, record->size, &data, &count);
      ReportMessage(kReadEnd, level::kTrace, level::kNotShown);
    }
    lock.lock();
    record->reading = false;
    // Given up while reading: whatever came back belongs to no download any more.
    if (record->abandoned) return;
    if (!ok) return finish(End::kReadFailed, 0);
    if (const std::int32_t code = record->handler(data, count); code != 0) {
      return finish(End::kStopped, code);
    }
    if (count == 0) return finish(End::kBodyEnded, 0);
  }
}

}  // namespace zenpo
