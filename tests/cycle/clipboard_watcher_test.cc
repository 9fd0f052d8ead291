#include "cycle/clipboard_watcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "runtime/run_flags.h"
#include "support/fake_clipboard.h"
#include "support/program_home.h"
#include "support/recording_message_box.h"

namespace zenpo {
namespace {

using std::chrono::milliseconds;

// Runs the watcher on its thread against a fake clipboard and a recording append.
class ClipboardWatcherTest : public ::testing::Test {
 protected:
  ClipboardWatcherTest() {
    ResetRunFlags();
    services_.poll_pause = milliseconds(2);
    services_.append_pause = milliseconds(1);
    services_.append = [this](std::wstring_view url) {
      std::lock_guard<std::mutex> lock(mutex_);
      appended_.emplace_back(url);
      return append_result_;
    };
  }
  ~ClipboardWatcherTest() override {
    Stop();
    ResetRunFlags();
  }

  void Start() {
    ClipState = 2;
    thread_ = platform::WorkerThread::Start([this] { ClipboardWatcher(clipboard_, services_); });
    // Watching begins by emptying the clipboard; copies come after that.
    WaitFor([this] { return clipboard_.empties() > 0; });
  }
  template <typename Condition>
  void WaitFor(Condition done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && !thread_.HasEnded() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(milliseconds(1));
    }
  }
  void Stop() {
    if (!thread_.started()) return;
    if (ClipState.load() == 2) ClipState = 1;
    ASSERT_TRUE(thread_.WaitFor(milliseconds(10000)));
    thread_ = {};
  }
  // Copies text and waits until the watcher has read it at least twice.
  void Copy(const std::wstring& text) {
    clipboard_.SetText(text);
    const int reads = clipboard_.reads();
    WaitFor([&] { return clipboard_.reads() >= reads + 2; });
  }
  std::vector<std::wstring> Appended() {
    std::lock_guard<std::mutex> lock(mutex_);
    return appended_;
  }

  test::ProgramHome home_;
  test::RecordingMessageBox boxes_;
  test::FakeClipboard clipboard_;
  WatcherServices services_;
  platform::WorkerThread thread_;
  std::mutex mutex_;
  std::vector<std::wstring> appended_;
  ResultCode append_result_ = rc::kWriteDone;
};

TEST_F(ClipboardWatcherTest, QueuesEachNewUrlOnceAndRepeatsOnlyAfterAChange) {
  clipboard_.SetText(L"http://h/before.zip");
  Start();
  Copy(L"http://h/a.zip");
  Copy(L"http://h/a.zip");
  Copy(L"http://h/b.zip");
  Copy(L"http://h/a.zip");
  Copy(L"some words");
  Copy(L"http://h/a.zip");
  Copy(L"HTTP://h/c.zip");
  Copy(L"https://h/c.zip");
  Copy(L"http://h/dir/");
  Copy(L"http://h/" + std::wstring(1100, L'x'));
  Copy(L"http://h/a.zip\n899|http://h/x.zip");
  clipboard_.SetNonText();
  Copy(L"http://h/a.zip");
  Stop();
  EXPECT_GE(clipboard_.empties(), 1) << "watching starts with an empty clipboard";
  // A, B, A, (words) A, and A once more after the long text that was never queued.
  const std::vector<std::wstring> expected = {L"http://h/a.zip", L"http://h/b.zip",
                                              L"http://h/a.zip", L"http://h/a.zip",
                                              L"http://h/a.zip"};
  EXPECT_EQ(Appended(), expected);
  EXPECT_EQ(ClipState.load(), 0);
  EXPECT_EQ(CloseRequested.load(), 0);
  const std::string log = home_.LogText();
  EXPECT_NE(log.find("クリップボードの監視を開始します"), std::string::npos);
  EXPECT_NE(log.find("クリップボードの監視を停止します"), std::string::npos);
}

TEST_F(ClipboardWatcherTest, ACloseRequestStopsTheWatcherInOrder) {
  Start();
  Copy(L"http://h/a.zip");
  CloseRequested = 1;
  ASSERT_TRUE(thread_.WaitFor(milliseconds(10000)));
  EXPECT_EQ(ClipState.load(), 0);
}

TEST_F(ClipboardWatcherTest, AListThatStaysBusyEndsTheProgram) {
  append_result_ = rc::kWriteInUse;
  Start();
  clipboard_.SetText(L"http://h/a.zip");
  WaitFor([] { return CloseRequested.load() != 0; });
  ASSERT_TRUE(thread_.WaitFor(milliseconds(10000)));
  EXPECT_EQ(Appended().size(), 20u) << "twenty attempts in all";
  EXPECT_EQ(ClipState.load(), 0) << "the next poll still stops in order";
  ASSERT_FALSE(boxes_.texts().empty());
  EXPECT_EQ(boxes_.texts()[0], L"listfileの追記がタイムアウトしました");
}

TEST_F(ClipboardWatcherTest, AClipboardThatHandsOutNoTextEndsTheProgramAtOnce) {
  Start();
  clipboard_.RefuseText(true);
  clipboard_.SetText(L"http://h/a.zip");
  ASSERT_TRUE(thread_.WaitFor(milliseconds(10000)));
  EXPECT_EQ(CloseRequested.load(), 1);
  EXPECT_EQ(ClipState.load(), 2) << "no orderly stop after a failed read";
}

}  // namespace
}  // namespace zenpo
