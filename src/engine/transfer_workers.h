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
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "config/settings.h"
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

// The reads of one body, on a thread of its own. Each read leaves its bytes where the HTTP
// client holds them (no copy, no allocation per read), and the worker hands that chunk to
// the engine's handler, which puts it in the file before the next read starts. The engine
// watches every read with its time-out; a read that outlasts it is abandoned, and from
// then on the worker calls the handler no more, whatever the read returns later.
class ReadWorker {
 public:
  // The largest read: the largest read size the settings allow.
  static constexpr std::uint32_t kMaxReadSize = kMaxDLBuff;

  // Called on the worker thread with each chunk, the final empty one included, and never
  // at the same time as the engine gives the worker up. Returns 0 to go on, or the code
  // that ends the transfer.
  using ChunkHandler = std::function<std::int32_t(const char* data, std::uint32_t count)>;

  enum class End {
    kBodyEnded,   // a read returned 0 bytes and its chunk was handled
    kReadFailed,  // a read failed
    kStopped,     // the handler returned a code (stop_code)
    kTimedOut,    // a read outlasted the time-out; the worker is abandoned
  };

  // Prepares reads of up to size bytes (at most kMaxReadSize) from request.
  ReadWorker(platform::HINTERNET request, std::uint32_t size, ChunkHandler handler);
  ReadWorker(const ReadWorker&) = delete;
  ReadWorker& operator=(const ReadWorker&) = delete;
  // Joins a worker that has ended, else leaves it to end on its own.
  ~ReadWorker();

  // Starts the worker and waits until the body has ended, a read failed, the handler
  // stopped the transfer, or one read has taken longer than read_timeout. False when no
  // thread could be made.
  bool Start();
  End Wait(std::chrono::milliseconds read_timeout);
  std::int32_t stop_code() const { return stop_code_; }

 private:
  struct Record;
  static void Run(const std::shared_ptr<Record>& record);

  std::shared_ptr<Record> record_;
  platform::WorkerThread thread_;
  std::int32_t stop_code_ = 0;
};

}  // namespace zenpo
