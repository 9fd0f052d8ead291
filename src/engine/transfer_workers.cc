// OpenUrlWorker and ReadWorker with their own records.
#include "engine/transfer_workers.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <functional>

#include "report/report_message.h"

namespace zenpo {
namespace {

std::atomic<int> running_workers{0};

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
  {
    std::lock_guard<std::mutex> lock(record->mutex);
    record->request = std::move(request);
  }
  ReportMessage(L"InternetOpenUrl thread end", level::kTrace, level::kNotShown);
}

struct ReadWorker::Record {
  platform::HINTERNET request;
  std::uint32_t size = 0;
  std::mutex mutex;
  std::condition_variable cv;
  // Guarded by mutex: a read asked for and not yet taken, a read ended, the worker's end.
  bool requested = false;
  bool done = false;
  bool quit = false;
  bool ok = false;
  std::uint32_t count = 0;
  // Written by the worker during a read, read by the engine after done; the hand-over
  // under mutex orders the two.
  std::array<char, kBufferSize> buffer;
};

ReadWorker::ReadWorker(platform::HINTERNET request, std::uint32_t size)
    : record_(std::make_shared<Record>()) {
  record_->request = std::move(request);
  record_->size = std::min(size, kBufferSize);
  thread_ = StartCounted([record = record_] { Run(record); });
}

ReadWorker::~ReadWorker() {
  bool pending;
  {
    std::lock_guard<std::mutex> lock(record_->mutex);
    record_->quit = true;
    pending = record_->requested;
  }
  record_->cv.notify_all();
  // An idle worker sees quit at once; a pending read may take as long as the library.
  if (!pending) thread_.WaitFor(std::chrono::seconds(10));
  thread_.Abandon();
}

const char* ReadWorker::data() const { return record_->buffer.data(); }

bool ReadWorker::Read(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(record_->mutex);
  record_->requested = true;
  record_->done = false;
  record_->cv.notify_all();
  if (!record_->cv.wait_for(lock, timeout, [this] { return record_->done; })) return false;
  ok_ = record_->ok;
  count_ = record_->count;
  return true;
}

void ReadWorker::Abandon() {
  {
    std::lock_guard<std::mutex> lock(record_->mutex);
    record_->quit = true;
  }
  record_->cv.notify_all();
  thread_.Abandon();
}

void ReadWorker::Run(const std::shared_ptr<Record>& record) {
  std::unique_lock<std::mutex> lock(record->mutex);
  for (;;) {
    record->cv.wait(lock, [&] { return record->requested || record->quit; });
    if (!record->requested) return;
    lock.unlock();
    bool ok = false;
    std::uint32_t count = 0;
    if (ReportMessage(L"InternetReadFile thread start", level::kTrace, level::kNotShown) !=
        rc::kLogUnusable) {
      ok = platform::InternetReadFile(record->request, record->buffer.data(), record->size,
                                      &count);
      ReportMessage(L"InternetReadFile thread end", level::kTrace, level::kNotShown);
    }
    lock.lock();
    record->ok = ok;
    record->count = ok ? count : 0;
    record->requested = false;
    record->done = true;
    record->cv.notify_all();
  }
}

}  // namespace zenpo
