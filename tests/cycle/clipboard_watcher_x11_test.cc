// The clipboard watcher on a real X11 clipboard (Xvfb, copies made with xclip) and a
// real list file.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <string>

#include "config/program_paths.h"
#include "config/settings.h"
#include "cycle/clipboard_watcher.h"
#include "runtime/run_flags.h"
#include "support/clipboard_owners.h"
#include "support/program_home.h"
#include "support/xvfb_display.h"
#include "support/zenpo_process.h"

namespace zenpo {
namespace {

using std::chrono::milliseconds;

class ClipboardWatcherX11Test : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::ProgramOnPath("Xvfb") || !test::ProgramOnPath("xclip")) {
      GTEST_SKIP() << "Xvfb and xclip are needed for a real X11 clipboard (scripts/setup)";
    }
    ResetRunFlags();
    xvfb_ = std::make_unique<test::XvfbDisplay>();
    ASSERT_TRUE(xvfb_->ok());
    const char* old = getenv("DISPLAY");
    old_display_ = old ? old : "";
    setenv("DISPLAY", xvfb_->name().c_str(), 1);
    test::WriteFile(home_ / "ZENPO.txt", "");
  }
  void TearDown() override {
    if (watcher_.started()) {
      ClipState = clip_state::kStopRequested;
      EXPECT_TRUE(watcher_.WaitFor(milliseconds(10000)));
    }
    ResetRunFlags();
    if (xvfb_) {
      if (old_display_.empty()) {
        unsetenv("DISPLAY");
      } else {
        setenv("DISPLAY", old_display_.c_str(), 1);
      }
    }
  }

  // Copies text as a user's program does; xclip stays behind as the owner.
  void Copy(const std::string& text) {
    const std::uint64_t former = test::ClipboardOwnerWindow();
    test::WriteFile(home_ / "clip.txt", text);
    const std::string cmd = "xclip -selection clipboard -i < '" + (home_ / "clip.txt").string() +
                            "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    ASSERT_TRUE(test::WaitForNewClipboardOwner(former, std::chrono::seconds(10)));
  }
  void StartWatching() {
    ClipState = clip_state::kWatching;
    watcher_ = platform::WorkerThread::Start([] {
      auto clipboard = platform::OpenSystemClipboard();
      WatcherServices services = DefaultWatcherServices();
      services.poll_pause = milliseconds(20);
      ClipboardWatcher(*clipboard, services);
    });
    // Watching has begun once the clipboard has been emptied.
    ASSERT_TRUE(test::Eventually([] { return test::ClipboardOwnerWindow() == 0; }));
  }
  std::string List() const { return test::ReadFile(home_ / "ZENPO.txt"); }
  bool ListIs(const std::string& expected) const {
    return test::Eventually([&] { return List() == expected; }, std::chrono::seconds(10));
  }

  test::ProgramHome home_;
  std::unique_ptr<test::XvfbDisplay> xvfb_;
  std::string old_display_;
  platform::WorkerThread watcher_;
};

TEST_F(ClipboardWatcherX11Test, CopiedUrlsAreQueuedAsTheUserCopiesThem) {
  AppSettings.loglevel = 3;  // the watcher logs each text it reads; set before it starts
  Copy("http://h/before.zip");
  StartWatching();
  Copy("http://h/a.zip");
  ASSERT_TRUE(ListIs("http://h/a.zip\n")) << List();
  Copy("http://h/b.zip");
  ASSERT_TRUE(ListIs("http://h/a.zip\nhttp://h/b.zip\n")) << List();
  Copy("http://h/a.zip");
  ASSERT_TRUE(ListIs("http://h/a.zip\nhttp://h/b.zip\nhttp://h/a.zip\n")) << List();
  // Text that is no URL is not queued, but the same URL after it counts as new.
  Copy("just some words");
  ASSERT_TRUE(test::Eventually(
      [&] { return home_.LogText().find("GetClipboardData->just some words") != std::string::npos; }));
  Copy("http://h/a.zip");
  ASSERT_TRUE(ListIs("http://h/a.zip\nhttp://h/b.zip\nhttp://h/a.zip\nhttp://h/a.zip\n"))
      << List();
  EXPECT_EQ(List().find("before"), std::string::npos) << "what was copied before is dropped";
}

}  // namespace
}  // namespace zenpo
