#include "platform/clipboard.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/clipboard_owners.h"
#include "support/xvfb_display.h"

extern char** environ;

namespace zenpo::platform {
namespace {

using test::ProgramOnPath;
using test::RogueClipboardOwner;
using test::XvfbDisplay;

// Sets DISPLAY for one test and puts the former value back.
class DisplayVariable {
 public:
  explicit DisplayVariable(const char* value) {
    if (const char* old = std::getenv("DISPLAY")) saved_ = old;
    if (value) {
      setenv("DISPLAY", value, 1);
    } else {
      unsetenv("DISPLAY");
    }
  }
  ~DisplayVariable() {
    if (saved_) {
      setenv("DISPLAY", saved_->c_str(), 1);
    } else {
      unsetenv("DISPLAY");
    }
  }

 private:
  std::optional<std::string> saved_;
};

TEST(ClipboardWithoutDisplayTest, ThereIsNoClipboard) {
  DisplayVariable none(nullptr);
  auto clipboard = OpenSystemClipboard();
  EXPECT_FALSE(clipboard->HasText());
  const ClipboardText read = clipboard->ReadText();
  EXPECT_EQ(read.status, ClipboardStatus::kNoText);
  EXPECT_TRUE(read.text.empty());
  EXPECT_FALSE(clipboard->Empty());
}

class ClipboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ProgramOnPath("Xvfb") || !ProgramOnPath("xclip")) {
      GTEST_SKIP() << "Xvfb and xclip are needed for a real X11 clipboard (scripts/setup)";
    }
    xvfb_ = std::make_unique<XvfbDisplay>();
    ASSERT_TRUE(xvfb_->ok()) << "Xvfb did not start";
    display_ = std::make_unique<DisplayVariable>(xvfb_->name().c_str());
  }

  // Copies bytes to the clipboard the way a user's program does: xclip becomes the
  // owner and answers for the target until another owner takes over.
  void Copy(const std::string& bytes, const std::string& target = "UTF8_STRING") {
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const std::uint64_t former_owner = test::ClipboardOwnerWindow();
    std::vector<std::string> args = {"xclip", "-selection", "clipboard", "-t", target, "-i"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    ASSERT_EQ(posix_spawnp(&pid, "xclip", &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(fds[1], bytes.data() + done, bytes.size() - done);
      ASSERT_GT(n, 0);
      done += n;
    }
    close(fds[1]);
    // xclip leaves a child behind that takes the selection and serves it.
    int status;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_TRUE(test::WaitForNewClipboardOwner(former_owner, std::chrono::seconds(10)));
  }

  std::unique_ptr<XvfbDisplay> xvfb_;
  std::unique_ptr<DisplayVariable> display_;
};

TEST_F(ClipboardTest, ReadsUtf8TextAsWideTextIncludingJapanese) {
  auto clipboard = OpenSystemClipboard();
  EXPECT_FALSE(clipboard->HasText());
  EXPECT_EQ(clipboard->ReadText().status, ClipboardStatus::kNoText);

  Copy("http://例え.jp/ダウンロード/ファイル.zip");
  EXPECT_TRUE(clipboard->HasText());
  ClipboardText read = clipboard->ReadText();
  EXPECT_EQ(read.status, ClipboardStatus::kText);
  EXPECT_EQ(read.text, L"http://例え.jp/ダウンロード/ファイル.zip");

  // A newer copy replaces the text; characters outside the basic plane survive, and a
  // malformed byte becomes one replacement character instead of ending the text.
  Copy("http://h/\xF0\x9F\x93\x81 \xFF ok");
  read = clipboard->ReadText();
  EXPECT_EQ(read.status, ClipboardStatus::kText);
  EXPECT_EQ(read.text, L"http://h/\U0001F4C1 \uFFFD ok");
}

TEST_F(ClipboardTest, SomethingOtherThanTextIsNoText) {
  Copy("\x89PNG\r\n\x1a\n", "image/png");
  auto clipboard = OpenSystemClipboard();
  EXPECT_FALSE(clipboard->HasText());
  const ClipboardText read = clipboard->ReadText();
  EXPECT_EQ(read.status, ClipboardStatus::kNoText);
  EXPECT_TRUE(read.text.empty());
}

TEST_F(ClipboardTest, EmptyingLeavesNothingToPasteForAnyone) {
  Copy("http://h/before-watching.zip");
  auto clipboard = OpenSystemClipboard();
  ASSERT_TRUE(clipboard->HasText());
  EXPECT_TRUE(clipboard->Empty());
  EXPECT_FALSE(clipboard->HasText());
  EXPECT_EQ(clipboard->ReadText().status, ClipboardStatus::kNoText);
  // Another program sees the same empty clipboard.
  EXPECT_FALSE(OpenSystemClipboard()->HasText());
  // And the clipboard works on as soon as the user copies again.
  Copy("http://h/after.zip");
  EXPECT_EQ(clipboard->ReadText().text, L"http://h/after.zip");
}

TEST_F(ClipboardTest, LargeTextIsCutAtTheLimitOnAWholeCharacter) {
  std::string big;
  for (std::size_t i = 0; big.size() < 3 * kMaxClipboardTextBytes; ++i) big += "あ";
  Copy(big);
  auto clipboard = OpenSystemClipboard();
  const ClipboardText read = clipboard->ReadText();
  ASSERT_EQ(read.status, ClipboardStatus::kText);
  EXPECT_EQ(read.text, std::wstring(kMaxClipboardTextBytes / 3, L'あ'));
}

TEST_F(ClipboardTest, ALostServerMeansNoClipboardAndAFreshOneIsFound) {
  auto clipboard = OpenSystemClipboard();
  Copy("http://h/a.zip");
  ASSERT_TRUE(clipboard->HasText());
  xvfb_->Stop();
  EXPECT_FALSE(clipboard->HasText());
  EXPECT_EQ(clipboard->ReadText().status, ClipboardStatus::kNoText);
  EXPECT_FALSE(clipboard->Empty());

  XvfbDisplay second;
  ASSERT_TRUE(second.ok());
  DisplayVariable moved(second.name().c_str());
  Copy("http://h/b.zip");
  EXPECT_EQ(clipboard->ReadText().text, L"http://h/b.zip");
}

TEST_F(ClipboardTest, TextOfferedButNotHandedOutIsToldApart) {
  RogueClipboardOwner owner(RogueClipboardOwner::Manner::kRefusesText);
  ASSERT_TRUE(owner.owns());
  auto clipboard = OpenSystemClipboard();
  EXPECT_TRUE(clipboard->HasText());
  const ClipboardText read = clipboard->ReadText();
  EXPECT_EQ(read.status, ClipboardStatus::kNotHandedOut);
  EXPECT_TRUE(read.text.empty());
}

TEST_F(ClipboardTest, AnOwnerThatNeverAnswersCostsOnlyTheBoundedWait) {
  RogueClipboardOwner owner(RogueClipboardOwner::Manner::kSilent);
  ASSERT_TRUE(owner.owns());
  auto clipboard = OpenSystemClipboard();
  EXPECT_FALSE(clipboard->HasText());
  EXPECT_EQ(clipboard->ReadText().status, ClipboardStatus::kNoText);
  // Its late answers must not pass for those of the next owner.
  Copy("http://h/next.zip");
  EXPECT_EQ(clipboard->ReadText().text, L"http://h/next.zip");
}

}  // namespace
}  // namespace zenpo::platform
