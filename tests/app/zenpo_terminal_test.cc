// The built program in a real terminal: its boxes, window, menu, tray row, editor and
// end, as the user sees them in tmux.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/tmux_session.h"
#include "support/zenpo_process.h"

namespace zenpo::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class ZenpoTerminalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!FindProgram("tmux")) GTEST_SKIP() << "tmux is not installed";
  }

  // Runs zenpo in an 80 x 24 terminal without a desktop, through a shell which writes
  // zenpo's exit status and the terminal's line settings to ended.txt once zenpo has ended.
  void Start(const std::string& ini, std::map<std::string, std::string> env = {}) {
    WriteFile(home_ / "ZENPO.ini", ini);
    const std::string script =
        "\"$0\"; s=$?; t=$(stty -a | tr ' ;' '\\n\\n' | grep -x -e '-\\?icanon' -e '-\\?echo' | "
        "tr '\\n' ' '); echo \"$s; $t\" > \"$1.tmp\" && mv \"$1.tmp\" \"$1\"";
    env.emplace("ZENPO_HOME", home_.string());
    env.emplace("DISPLAY", "");
    tmux_ = std::make_unique<TmuxSession>(
        "/bin/sh -c " + ShellQuote(script) + " " + ShellQuote(ZENPO_BINARY) + " " +
            ShellQuote((home_ / "ended.txt").string()), 80, 24, env);
    ASSERT_TRUE(tmux_->ok());
  }
  // The state line is the window's second row; the rest of it is blank.
  bool WaitForStateLine(const std::string& state, milliseconds timeout = seconds(10)) {
    const std::regex row("^[^\n]*\n " + state + " *\n");
    return tmux_->WaitForScreen([&](const std::string& screen) { return std::regex_search(screen, row); }, timeout);
  }
  std::string Log() const { return ReadFile(home_ / "ZENPO.log"); }
  bool WaitForLog(const std::string& text) const { return Eventually([&] { return Contains(Log(), text); }, seconds(10)); }

  void OpenMenu(const std::string& key = "m") {
    tmux_->SendKeys({key});
    ASSERT_TRUE(tmux_->WaitForText("NoWait")) << tmux_->Capture();
  }
  // Items below the first, separators skipped: 0 "HIDE", 1 "PAUSE", 2 "EXIT".
  void Choose(int index) {
    std::vector<std::string> keys(static_cast<std::size_t>(index), "Down");
    keys.push_back("Enter");
    tmux_->SendKeys(keys);
    ASSERT_TRUE(tmux_->WaitForScreen([](const std::string& s) { return !Contains(s, "NoWait"); }));
  }
  // The terminal must come back with lines edited and echoed again.
  void ExpectEndedWith(int status) {
    ASSERT_TRUE(Eventually([&] { return std::filesystem::exists(home_ / "ended.txt"); }, seconds(15)))
        << tmux_->Capture();
    EXPECT_EQ(ReadFile(home_ / "ended.txt"), std::to_string(status) + "; icanon echo \n");
  }
  int ZenpoPid() {
    const std::string pane = std::to_string(tmux_->PanePid());
    return std::atoi(ReadFile("/proc/" + pane + "/task/" + pane + "/children").c_str());  // the shell's child
  }
  // Each test ends by closing the terminal under the program, as closing its terminal
  // window does: the program must then end by itself, whatever waits for keys.
  void TearDown() override {
    if (!tmux_ || !tmux_->ok()) return;
    const int pid = ZenpoPid();
    tmux_.reset();
    const auto ended = [&] {  // gone, a zombie not yet reaped, or the id taken by another program
      std::error_code ec;
      const auto exe = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec);
      return ec || exe != std::filesystem::canonical(ZENPO_BINARY);
    };
    if (pid > 0 && !Eventually(ended, seconds(10))) {
      ADD_FAILURE() << "zenpo still runs after its terminal was closed";
      kill(pid, SIGKILL);
    }
  }

  TempDir dir_;
  std::filesystem::path home_ = dir_.path();
  std::unique_ptr<TmuxSession> tmux_;
};

TEST_F(ZenpoTerminalTest, StartBoxThenTheWindowThenExitInRedAndAStopSignalAnswersTheEndBox) {
  Start("loglevel=2\n");
  ASSERT_TRUE(tmux_->WaitForText("ZENPOの常駐を開始します")) << tmux_->Capture();
  tmux_->SendKeys({"Enter"});
  ASSERT_TRUE(WaitForStateLine("WAITING")) << tmux_->Capture();
  // The first selection finds no list (121); the next tick is about a second away.
  ASSERT_TRUE(WaitForLog("listfileを他で使用中です(ReTry)")) << Log();
  OpenMenu();
  Choose(2);  // "EXIT"
  ASSERT_TRUE(WaitForStateLine("WAITING CLOSE", milliseconds(900))) << tmux_->Capture();
  EXPECT_TRUE(Contains(tmux_->Capture(true), "\x1b[31mWAITING CLOSE"));
  ASSERT_TRUE(tmux_->WaitForText("ZENPOの常駐を解除します")) << tmux_->Capture();
  ASSERT_EQ(kill(ZenpoPid(), SIGTERM), 0);
  ExpectEndedWith(121);
}

TEST_F(ZenpoTerminalTest, HiddenStartIsTheTrayRowASecondStartShowsTheWindowAndAStopEndsThePopup) {
  Start("HIDE=1\nmsglevel=0\nloglevel=2\n");
  ASSERT_TRUE(tmux_->WaitForText("\u25cf\u25cf\u25b2 I")) << tmux_->Capture();
  ZenpoProcess second(home_);
  EXPECT_EQ(second.WaitExit(seconds(10)), 0);
  EXPECT_TRUE(WaitForStateLine("WAITING")) << tmux_->Capture();
  ZenpoProcess extra(home_, {"M"});  // the one slot is taken
  EXPECT_EQ(extra.WaitExit(seconds(10)), 0);
  EXPECT_TRUE(WaitForLog(" 実行可能多重度数オーバー\n")) << Log();
  OpenMenu();
  Choose(0);  // "HIDE"
  ASSERT_TRUE(tmux_->WaitForScreen([](const std::string& s) { return !Contains(s, "WAITING"); }));
  // Any key on the tray row is the tap; the cycle goes on under the popup, and a service
  // manager's stop ends the program there.
  OpenMenu("x");
  EXPECT_TRUE(WaitForLog("(ReTry)") && Contains(tmux_->Capture(), "NoWait")) << Log();
  ASSERT_EQ(kill(ZenpoPid(), SIGTERM), 0);
  ExpectEndedWith(121);
}

TEST_F(ZenpoTerminalTest, ABoxFromTheDownloadThreadTakesTheKeysOverTheWindow) {
  WriteFile(home_ / "ZENPO.txt", "http://127.0.0.1:1/f.zip\n");
  Start("checkURL=http://127.0.0.1:1/\n");
  ASSERT_TRUE(tmux_->WaitForText("ZENPOの常駐を開始します")) << tmux_->Capture();
  tmux_->SendKeys({"Enter"});
  ASSERT_TRUE(tmux_->WaitForText("ネットワーク接続でerrorが発生しました")) << tmux_->Capture();
  tmux_->SendKeys({"m", "Enter"});  // the box's, not the window's
  ASSERT_TRUE(tmux_->WaitForText("ZENPOの常駐を解除します")) << tmux_->Capture();
  EXPECT_FALSE(Contains(tmux_->Capture(), "NoWait"));
  tmux_->SendKeys({"Enter"});
  ExpectEndedWith(104);
  EXPECT_EQ(ReadFile(home_ / "ZENPO.txt"), "104|http://127.0.0.1:1/f.zip\n");
}

TEST_F(ZenpoTerminalTest, MenuByClickAndF1PausesAndResumesAndTheEditorTakesTheTerminalAndGivesItBack) {
  home_ = dir_.path() / "it's $(name)";  // reaches the editor as it is, however a shell would read it
  std::filesystem::create_directory(home_);
  const std::filesystem::path editor = dir_.path() / "editor.sh";
  // Each run numbers its banner: the terminal's main screen still shows an earlier one.
  WriteFile(editor, "#!/bin/sh\ntrap 'echo saved > \"$1.hup\"; exit 1' HUP\necho >> \"$1.runs\"\n"
                    "printf '\\033[?1l\\033>EDITING %s [%s]\\n' $(wc -l < \"$1.runs\") \"$1\"\nread line\n"
                    "case \"$line\" in wait) sleep 30 ;; esac\nprintf '%s\\n' \"$line\" > \"$1.typed\"\n");
  chmod(editor.c_str(), 0755);
  Start("msglevel=0\nloglevel=2\n", {{"VISUAL", editor.string()}});
  ASSERT_TRUE(WaitForStateLine("WAITING")) << tmux_->Capture();
  ASSERT_TRUE(WaitForLog("listfileを他で使用中です(ReTry)")) << Log();
  // The next tick is about a second away. The bottom-row button opens the menu, and a
  // click on an item chooses it; the ticks go on with no key behind the clicks.
  tmux_->Click(23, 3);
  ASSERT_TRUE(tmux_->WaitForText("NoWait")) << tmux_->Capture();
  const std::string menu = tmux_->Capture();  // "PAUSE" is on the row of the newlines before it
  tmux_->Click(static_cast<int>(std::count(menu.begin(), menu.begin() + menu.find("PAUSE"), '\n')), 4);
  EXPECT_TRUE(WaitForStateLine("WAITING PAUSE", milliseconds(900))) << tmux_->Capture();
  ASSERT_TRUE(WaitForStateLine("PAUSE", seconds(2))) << "at the next tick: " << tmux_->Capture();
  OpenMenu("F1");
  Choose(1);
  EXPECT_TRUE(WaitForStateLine("WAITING")) << tmux_->Capture();
  const std::string list = (home_ / "ZENPO.txt").string();
  const std::vector<std::string> open_list = {"m", "Down", "Down", "Down", "Enter", "Down", "Enter"};
  tmux_->SendKeys(open_list);
  ASSERT_TRUE(tmux_->WaitForText("EDITING 1 [" + list + "]")) << tmux_->Capture();
  tmux_->SendKeys({"typed by hand", "Enter"});
  EXPECT_TRUE(Eventually([&] { return ReadFile(list + ".typed") == "typed by hand\n"; }, seconds(10)));
  ASSERT_TRUE(WaitForStateLine("WAITING")) << tmux_->Capture();
  EXPECT_TRUE(tmux_->ApplicationKeys()) << "asked for again after the editor left the plain form";
  // A stop while the editor runs hangs the editor up, as a closing terminal would, and
  // ends the program without waiting for the editor to be quit by hand.
  tmux_->SendKeys(open_list);
  ASSERT_TRUE(tmux_->WaitForText("EDITING 2 [")) << tmux_->Capture();
  tmux_->SendKeys({"wait", "Enter"});
  std::this_thread::sleep_for(milliseconds(300));  // the editor waits in its sleep now
  const int pid = ZenpoPid();
  ASSERT_GT(pid, 0);
  kill(pid, SIGTERM);
  EXPECT_TRUE(Eventually([&] { return ReadFile(list + ".hup") == "saved\n"; }, seconds(5)));
  ExpectEndedWith(121);
}

// A terminal that cannot place the cursor gets its boxes as lines and no window.
TEST_F(ZenpoTerminalTest, ADumbTerminalGetsLinesAndAStopSignalAnswersTheStartBox) {
  Start("", {{"TERM", "dumb"}});
  ASSERT_TRUE(tmux_->WaitForText("ZENPO: ZENPOの常駐を開始します")) << tmux_->Capture();
  ASSERT_EQ(kill(ZenpoPid(), SIGTERM), 0);
  ExpectEndedWith(0);
}

}  // namespace
}  // namespace zenpo::test
