#include "platform/clipboard.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "support/clipboard_owners.h"
#include "support/xvfb_display.h"

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
    Set(value);
  }
  ~DisplayVariable() { Set(saved_ ? saved_->c_str() : nullptr); }

 private:
  static void Set(const char* value) {
    value ? setenv("DISPLAY", value, 1) : unsetenv("DISPLAY");
  }
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
    const std::uint64_t former_owner = test::ClipboardOwnerWindow();
    FILE* xclip = popen(("xclip -selection clipboard -t " + target + " -i >/dev/null 2>&1").c_str(),
                        "we");
    ASSERT_NE(xclip, nullptr);
    EXPECT_EQ(fwrite(bytes.data(), 1, bytes.size(), xclip), bytes.size());
    // xclip leaves a child behind that takes the selection and serves it.
    ASSERT_EQ(pclose(xclip), 0);
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
