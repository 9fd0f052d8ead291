// The threads that run the HTTP client's blocking calls for the engine: the open of a
// URL and the reads of a body. The engine waits for each call with a time-out of its own
// and abandons a call that does not return; nothing ever kills a thread.
//
// Each worker has a record of its own, held by the worker and by the engine through
// shared ownership, so an abandoned worker that returns late writes only into its own
// record, never into the state of a later download.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/inet.h"
#include "platform/worker_thread.h"

namespace zenpo {

// How many open and read workers are still running, abandoned ones included, so that
// whoever tears down what they use (the reporting settings, the log) can wait for their
// end first. Safe from any thread.
int RunningTransferWorkers();

// One open of a URL. The engine fills url, headers and internet before the worker
// starts and reads request through TakeRequest, at any time.
class OpenUrlWorker {
 public:
  // Starts the open on a new thread. started() is false when no thread could be made.
  OpenUrlWorker(platform::HINTERNET internet, std::wstring url, std::wstring headers);
  OpenUrlWorker(const OpenUrlWorker&) = delete;
  OpenUrlWorker& operator=(const OpenUrlWorker&) = delete;
  // Abandons the thread when it still runs.
  ~OpenUrlWorker();

  bool started() const { return thread_.started(); }
  // Waits up to timeout for the open to end; true when it has.
  bool WaitFor(std::chrono::milliseconds timeout) { return thread_.WaitFor(timeout); }
  // The request handle the open has stored so far (null until it has one, or when it
  // failed). The handle stays in the record too.
  platform::HINTERNET request() const;
  // Gives up the thread: joined when it has ended, else left to end on its own.
  void Abandon() { thread_.Abandon(); }

 private:
  struct Record;
  static void Run(const std::shared_ptr<Record>& record);

  std::shared_ptr<Record> record_;
  platform::WorkerThread thread_;
};

// The reads of one body: one thread performs them one at a time into a buffer of its
// own record, so there is no allocation per read. Used by one engine thread.
class ReadWorker {
 public:
  // The largest read; the buffer holds this many bytes.
  static constexpr std::uint32_t kBufferSize = 20480;

  // Starts the thread for reads of up to size bytes (at most kBufferSize) from request.
  ReadWorker(platform::HINTERNET request, std::uint32_t size);
  ReadWorker(const ReadWorker&) = delete;
  ReadWorker& operator=(const ReadWorker&) = delete;
  // Ends the thread: waits for it when no read is pending, abandons it otherwise.
  ~ReadWorker();

  bool started() const { return thread_.started(); }

  // Starts one read and waits up to timeout for it. True when the read has ended; then
  // ok(), count() and data() tell its outcome until the next Read. False when it still
  // runs: the read is left pending and the worker must be abandoned.
  bool Read(std::chrono::milliseconds timeout);
  bool ok() const { return ok_; }
  std::uint32_t count() const { return count_; }
  const char* data() const;

  // Gives up the thread; a pending read ends into the abandoned record.
  void Abandon();

 private:
  struct Record;
  static void Run(const std::shared_ptr<Record>& record);

  std::shared_ptr<Record> record_;
  platform::WorkerThread thread_;
  bool ok_ = false;
  std::uint32_t count_ = 0;
};

}  // namespace zenpo
