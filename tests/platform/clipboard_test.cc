// The X11 clipboard on a virtual X server of the test's own, copied to by xclip as by a user.
#include "platform/clipboard.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "support/clipboard_owners.h"
#include "support/temp_dir.h"
#include "support/xvfb_display.h"

namespace zenpo::platform {
namespace {

using test::RogueClipboardOwner;

class ClipboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::FindProgram("Xvfb") || !test::FindProgram("xclip")) {
      GTEST_SKIP() << "Xvfb and xclip are needed for a real X11 clipboard (scripts/setup)";
    }
    xvfb_ = std::make_unique<test::XvfbDisplay>();
    ASSERT_TRUE(xvfb_->ok()) << "Xvfb did not start";
    display_.emplace("DISPLAY", xvfb_->name().c_str());
  }

  // xclip leaves a child behind that serves the selection.
  static void Copy(const std::string& bytes, const std::string& target = "UTF8_STRING") {
    const std::uint64_t former_owner = test::ClipboardOwnerWindow();
    FILE* xclip = popen(("xclip -selection clipboard -t " + target + " -i >/dev/null 2>&1").c_str(), "we");
    ASSERT_NE(xclip, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), xclip);
    ASSERT_EQ(pclose(xclip), 0);
    ASSERT_TRUE(test::Eventually([&] {
      const std::uint64_t owner = test::ClipboardOwnerWindow();
      return owner != 0 && owner != former_owner;
    }, std::chrono::seconds(10), std::chrono::milliseconds(5)));
  }
  static void ExpectNoText(Clipboard& clipboard, ClipboardStatus status = ClipboardStatus::kNoText) {
    EXPECT_EQ(clipboard.HasText(), status == ClipboardStatus::kNotHandedOut);
    EXPECT_EQ(clipboard.ReadText().status, status);
  }

  std::unique_ptr<test::XvfbDisplay> xvfb_;
  std::optional<test::ScopedEnv> display_;
};

TEST_F(ClipboardTest, ReadsCopiedTextOnlyTellsRefusalsApartAndLivesOnWithoutItsServer) {
  auto clipboard = OpenSystemClipboard();
  ExpectNoText(*clipboard);
  Copy("http://例え.jp/ダウンロード/ファイル.zip");
  EXPECT_TRUE(clipboard->HasText());
  EXPECT_EQ(clipboard->ReadText().text, L"http://例え.jp/ダウンロード/ファイル.zip");
  Copy("\x89PNG\r\n\x1a\n", "image/png");
  ExpectNoText(*clipboard);

  Copy("http://h/before-watching.zip");
  EXPECT_TRUE(clipboard->Empty());
  ExpectNoText(*OpenSystemClipboard());
  // Large text is cut at the limit on a whole character.
  std::string big;
  while (big.size() < 3 * kMaxClipboardTextBytes) big += "あ";
  Copy(big);
  EXPECT_EQ(clipboard->ReadText().text, std::wstring(kMaxClipboardTextBytes / 3, L'あ'));
  {
    RogueClipboardOwner refuses(RogueClipboardOwner::Manner::kRefusesText);
    ASSERT_TRUE(refuses.owns());
    ExpectNoText(*clipboard, ClipboardStatus::kNotHandedOut);
  }
  {
    RogueClipboardOwner silent(RogueClipboardOwner::Manner::kSilent);
    ASSERT_TRUE(silent.owns());
    ExpectNoText(*clipboard);
    // Its late answers must not pass for those of the next owner.
    Copy("http://h/next.zip");
    EXPECT_EQ(clipboard->ReadText().text, L"http://h/next.zip");
  }
  // A lost server or none at all is no clipboard, and the program lives on.
  xvfb_->Stop();
  ExpectNoText(*clipboard);
  unsetenv("DISPLAY");
  ExpectNoText(*OpenSystemClipboard());
}

}  // namespace
}  // namespace zenpo::platform
