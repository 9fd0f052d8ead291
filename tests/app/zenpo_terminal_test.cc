// The built program in a real terminal: its boxes, window, menu, tray row, editor and
// end, as the user sees them in tmux.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "support/tmux_session.h"
#include "support/zenpo_process.h"

namespace zenpo::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

const std::string kShapes = "\u25cf\u25cf\u25b2";
const std::string kRed = "\x1b[31m";

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Terminal columns of our UTF-8 texts: kana and kanji take two, box lines and marks one.
int Columns(const std::string& s) {
  int n = 0;
  for (unsigned char c : s) n += (c & 0xC0) == 0x80 ? 0 : (c >= 0xE3 && c <= 0xE9) ? 2 : 1;
  return n;
}

// Whether zenpo's process pid has ended: it is gone, a zombie its new parent has yet to
// reap, or the id now belongs to another program.
bool ProcessEnded(int pid) {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec);
  return ec || exe != std::filesystem::canonical(ZENPO_BINARY);
}

class ZenpoTerminalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!FindProgram("tmux")) GTEST_SKIP() << "tmux is not installed";
  }

  // Runs zenpo in an 80 x 24 terminal without a desktop, with the settings ini and the
  // variables env, through a shell which writes zenpo's exit status and the terminal's
  // line settings to ended.txt once zenpo has ended.
  void Start(const std::string& ini, std::map<std::string, std::string> env = {}) {
    WriteFile(home() / "ZENPO.ini", ini);
    std::filesystem::remove(home() / "ended.txt");
    const std::string script =
        "\"$0\"; s=$?; t=$(stty -a | tr ' ;' '\\n\\n' | grep -x -e '-\\?icanon' -e '-\\?echo' | "
        "tr '\\n' ' '); echo \"$s; $t\" > \"$1.tmp\" && mv \"$1.tmp\" \"$1\"";
    env.emplace("ZENPO_HOME", home().string());
    env.emplace("DISPLAY", "");
    session_ = std::make_unique<TmuxSession>(
        "/bin/sh -c " + ShellQuote(script) + " " + ShellQuote(ZENPO_BINARY) + " " +
            ShellQuote((home() / "ended.txt").string()), 80, 24, env);
    ASSERT_TRUE(session_->ok());
  }
  std::filesystem::path home() const { return home_name_.empty() ? home_.path() : home_.path() / home_name_; }

  TmuxSession& tmux() { return *session_; }
  // The state line is the window's second row; the rest of it is blank.
  bool WaitForStateLine(const std::string& state, milliseconds timeout = seconds(10)) {
    const std::regex row("^[^\n]*\n " + state + " *\n");
    return tmux().WaitForScreen([&](const std::string& screen) { return std::regex_search(screen, row); }, timeout);
  }
  bool WaitForPicture(char letter) {
    return tmux().WaitForScreen([&](const std::string& screen) {
      return Contains(screen.substr(0, screen.find('\n')), kShapes + " " + letter);
    });
  }
  std::string Log() const { return ReadFile(home() / "ZENPO.log"); }
  bool WaitForLog(const std::string& text) const { return Eventually([&] { return Contains(Log(), text); }, seconds(10)); }

  void OpenMenu(const std::string& key = "m") {
    tmux().SendKeys({key});
    ASSERT_TRUE(tmux().WaitForText("NoWait")) << tmux().Capture();
  }
  // Chooses the item `index` items below the first of the open menu, separators skipped:
  // 0 "HIDE", 1 "PAUSE", 2 "EXIT".
  void Choose(int index) {
    std::vector<std::string> keys(static_cast<std::size_t>(index), "Down");
    keys.push_back("Enter");
    tmux().SendKeys(keys);
    ASSERT_TRUE(tmux().WaitForScreen([](const std::string& s) { return !Contains(s, "NoWait"); }));
  }
  // The row of a menu item, -1 when not shown, and whether it carries the check mark.
  std::pair<int, bool> Item(const std::string& label) {
    const std::vector<std::string> rows = tmux().Rows();
    for (std::size_t r = 0; r < rows.size(); ++r) {
      for (const char* mark : {"   ", " \u2713 "}) {
        if (Contains(rows[r] + " ", "\u2502" + std::string(mark) + label + " ")) return {static_cast<int>(r), mark[1] != ' '};
      }
    }
    return {-1, false};
  }
  // After zenpo has ended: its exit status, and the terminal handed back as it was, with
  // lines edited and echoed again.
  void ExpectEndedWith(int status) {
    ASSERT_TRUE(Eventually([&] { return std::filesystem::exists(home() / "ended.txt"); }, seconds(15)))
        << tmux().Capture();
    EXPECT_EQ(ReadFile(home() / "ended.txt"), std::to_string(status) + "; icanon echo \n");
  }
  int ZenpoPid() {
    const int pane = tmux().PanePid();
    const std::string children = ReadFile("/proc/" + std::to_string(pane) + "/task/" + std::to_string(pane) + "/children");
    return std::atoi(children.c_str());  // zenpo, the shell's child
  }
  // Closes the terminal under the program, as closing its terminal window does; gives the
  // program's process id. The program must then end by itself: each test ends this way,
  // and one that outlives its terminal is a failure and does not outlive the test.
  int HangUp() {
    orphan_ = ZenpoPid();
    session_.reset();
    return orphan_;
  }
  void TearDown() override {
    if (session_ && session_->ok()) HangUp();
    if (orphan_ > 0 && !Eventually([&] { return ProcessEnded(orphan_); }, seconds(10))) {
      ADD_FAILURE() << "zenpo still runs after its terminal was closed";
      kill(orphan_, SIGKILL);
    }
  }

  TempDir home_;
  std::string home_name_;
  std::unique_ptr<TmuxSession> session_;
  int orphan_ = 0;
};

TEST_F(ZenpoTerminalTest, StartBoxThenTheIdleWindowThenExitInRedTheEndBoxAndTheLastResult) {
  Start("loglevel=2\n");
  ASSERT_TRUE(tmux().WaitForText("ZENPOの常駐を開始します")) << tmux().Capture();
  EXPECT_TRUE(Contains(tmux().Capture(), "\u250c\u2500 ZENPO ")) << "the caption sits in the top border";
  // Nothing of the window while the box waits, not even after a tick of the cycle.
  EXPECT_FALSE(tmux().WaitForScreen([](const std::string& s) { return Contains(s, "ZENPO_main_0") || Contains(s, "MENU"); },
                                    milliseconds(1500))) << tmux().Capture();
  tmux().SendKeys({"Enter"});
  ASSERT_TRUE(WaitForStateLine("WAITING")) << tmux().Capture();
  std::vector<std::string> rows = tmux().Rows();
  EXPECT_TRUE(rows[0].starts_with(" ZENPO_main_0 ") && Contains(rows[0], kShapes + " I")) << rows[0];
  EXPECT_TRUE(rows[23].starts_with(" F1/m: MENU")) << rows[23];
  EXPECT_TRUE(Contains(tmux().Capture(true), "\x1b[37m" + kShapes)) << "the idle picture is light grey";
  EXPECT_FALSE(Contains(tmux().Capture(true), kRed)) << "only closing is red";

  // The first selection finds no list (121); the next tick is about a second away.
  ASSERT_TRUE(WaitForLog("listfileを他で使用中です(ReTry)")) << Log();
  OpenMenu();
  Choose(2);  // "EXIT"
  ASSERT_TRUE(WaitForStateLine("WAITING CLOSE", milliseconds(900))) << tmux().Capture();
  EXPECT_TRUE(Contains(tmux().Capture(true), kRed + "WAITING CLOSE"));
  ASSERT_TRUE(tmux().WaitForText("ZENPOの常駐を解除します")) << tmux().Capture();
  // The box waits for the user, but a service manager's stop answers it.
  EXPECT_FALSE(Eventually([&] { return std::filesystem::exists(home() / "ended.txt"); }, seconds(1)));
  ASSERT_EQ(kill(ZenpoPid(), SIGTERM), 0);
  ExpectEndedWith(121);
  EXPECT_TRUE(Log().ends_with(" ZENPOの常駐を解除します\n")) << Log();
}

TEST_F(ZenpoTerminalTest, MenuByClickAndKeyPausesAndResumesAndTheWindowFollowsAResize) {
  Start("msglevel=0\nloglevel=2\ntitle=MyTitle\n");
  ASSERT_TRUE(WaitForStateLine("WAITING")) << tmux().Capture();
  EXPECT_TRUE(tmux().Rows()[0].starts_with(" MyTitle ")) << tmux().Rows()[0];
  ASSERT_TRUE(WaitForLog("listfileを他で使用中です(ReTry)")) << Log();
  // The first selection (no list: in use) has just restarted the cycle's second count,
  // so the next tick is about a second away. The bottom-row button opens the menu, and a
  // click on an item chooses it; the ticks go on with no key behind the clicks.
  tmux().Click(23, 3);
  ASSERT_TRUE(tmux().WaitForText("NoWait")) << tmux().Capture();
  tmux().Click(Item("PAUSE").first, 4);
  EXPECT_TRUE(WaitForStateLine("WAITING PAUSE", milliseconds(900))) << tmux().Capture();
  ASSERT_TRUE(WaitForStateLine("PAUSE", seconds(2))) << "at the next tick: " << tmux().Capture();
  EXPECT_TRUE(WaitForPicture('P')) << tmux().Rows()[0];
  EXPECT_TRUE(Contains(tmux().Capture(true), kRed + kShapes)) << "the paused picture is red";

  OpenMenu("F1");
  EXPECT_TRUE(Item("NoWait").second && Item("PAUSE").second) << tmux().Capture();
  EXPECT_FALSE(Item("HIDE").second || Item("CheckClip").second);
  Choose(1);
  EXPECT_TRUE(WaitForStateLine("WAITING")) << tmux().Capture();
  EXPECT_TRUE(WaitForPicture('I')) << tmux().Rows()[0];

  // On a small screen the bottom row stands alone and the menu scrolls to its last item.
  tmux().Resize(20, 5);
  ASSERT_TRUE(Eventually([&] {
    const std::vector<std::string> rows = tmux().Rows();
    return rows.size() == 5 && rows[4].starts_with(" F1/m: MENU") &&
           Columns(rows[0].substr(0, rows[0].find_last_not_of(' ') + 1)) == 19;
  })) << tmux().Capture();
  tmux().SendKeys({"m", "Up"});
  ASSERT_TRUE(tmux().WaitForText("NoWait")) << tmux().Capture();
  tmux().SendKeys({"Up", "Up", "Up", "Enter"});  // "EXIT": no end box waits for a key
  ExpectEndedWith(121);
}

TEST_F(ZenpoTerminalTest, HiddenStartIsTheTrayRowWhosePopupOrASecondStartShowsTheWindow) {
  Start("HIDE=1\nmsglevel=0\n");
  ASSERT_TRUE(WaitForPicture('I')) << tmux().Capture();
  std::vector<std::string> rows = tmux().Rows();
  EXPECT_TRUE(rows[0].starts_with(" ZENPO_main_0 ")) << rows[0];
  for (std::size_t r = 1; r < rows.size(); ++r) EXPECT_EQ(rows[r].find_first_not_of(' '), std::string::npos) << r;
  // Any key on the tray row is the tap; Esc closes the popup and the window stays hidden.
  OpenMenu("x");
  EXPECT_TRUE(Item("HIDE").second) << tmux().Capture();
  tmux().SendKeys({"Escape"});
  ASSERT_TRUE(tmux().WaitForScreen([](const std::string& s) { return !Contains(s, "NoWait"); }));
  EXPECT_FALSE(Contains(tmux().Capture(), "WAITING"));
  OpenMenu("x");
  Choose(0);  // "HIDE"
  ASSERT_TRUE(WaitForStateLine("WAITING")) << tmux().Capture();
  OpenMenu();
  EXPECT_FALSE(Item("HIDE").second) << tmux().Capture();
  Choose(0);
  ASSERT_TRUE(tmux().WaitForScreen([](const std::string& s) { return !Contains(s, "WAITING"); }));
  ZenpoProcess second(home());
  EXPECT_EQ(second.WaitExit(seconds(10)), 0);
  EXPECT_TRUE(WaitForStateLine("WAITING")) << tmux().Capture();
}

TEST_F(ZenpoTerminalTest, ABoxFromTheDownloadThreadTakesTheKeysOverTheWindow) {
  WriteFile(home() / "ZENPO.txt", "http://127.0.0.1:1/f.zip\n");
  Start("checkURL=http://127.0.0.1:1/\n");
  ASSERT_TRUE(tmux().WaitForText("ZENPOの常駐を開始します")) << tmux().Capture();
  tmux().SendKeys({"Enter"});
  const std::string text = "ネットワーク接続でerrorが発生しました";
  ASSERT_TRUE(tmux().WaitForText(text)) << tmux().Capture();
  const std::vector<std::string> rows = tmux().Rows();
  EXPECT_TRUE(rows[0].starts_with(" ZENPO_main_0 ")) << "drawn over the window";
  int at = 0;
  while (!Contains(rows[at], text)) ++at;
  // Drawn whole: the right border stands where the wide characters leave it.
  EXPECT_EQ(Columns(rows[at].substr(0, rows[at].rfind("\u2502"))),
            Columns(rows[at - 1].substr(0, rows[at - 1].rfind("\u2510")))) << tmux().Capture();
  tmux().SendKeys({"m", "Enter"});  // the box's, not the window's
  ASSERT_TRUE(tmux().WaitForText("ZENPOの常駐を解除します")) << tmux().Capture();
  EXPECT_FALSE(Contains(tmux().Capture(), "NoWait"));
  tmux().SendKeys({"Enter"});
  ExpectEndedWith(104);
  EXPECT_EQ(ReadFile(home() / "ZENPO.txt"), "104|http://127.0.0.1:1/f.zip\n");
}

TEST_F(ZenpoTerminalTest, TheEditorTakesTheTerminalAndGivesItBack) {
  home_name_ = "it's $(name)";  // reaches the editor as it is, however a shell would read it
  std::filesystem::create_directory(home());
  WriteFile(home_.path() / "editor.sh",
            "#!/bin/sh\nprintf '\\033[?1l\\033>EDITING [%s]\\n' \"$1\"\nread line\ncase \"$line\" in wait) sleep 30 ;; esac\n"
              "printf '%s\\n' \"$line\" > \"$1.typed\"\n");
  chmod((home_.path() / "editor.sh").c_str(), 0755);
  Start("msglevel=0\n", {{"VISUAL", (home_.path() / "editor.sh").string()}});
  ASSERT_TRUE(WaitForStateLine("WAITING")) << tmux().Capture();
  const std::string list = (home() / "ZENPO.txt").string();
  const std::vector<std::string> open_list = {"m", "Down", "Down", "Down", "Enter", "Down", "Enter"};
  tmux().SendKeys(open_list);
  ASSERT_TRUE(tmux().WaitForText("EDITING [" + list + "]")) << tmux().Capture();
  EXPECT_FALSE(Contains(tmux().Capture(), "WAITING")) << "drawn over the editor";
  tmux().SendKeys({"typed by hand", "Enter"});
  EXPECT_TRUE(Eventually([&] { return ReadFile(list + ".typed") == "typed by hand\n"; }, seconds(10)));
  ASSERT_TRUE(WaitForStateLine("WAITING")) << tmux().Capture();
  EXPECT_TRUE(tmux().ApplicationKeys()) << "asked for again after the editor left the plain form";
  // Ctrl-C in the editor ends the editor, not the program.
  tmux().SendKeys(open_list);
  ASSERT_TRUE(tmux().WaitForText("EDITING")) << tmux().Capture();
  tmux().SendKeys({"wait", "Enter", "C-c"});
  ASSERT_TRUE(WaitForStateLine("WAITING")) << tmux().Capture();
}

// A service manager's SIGTERM, or the terminal closed under the program, must not hang on
// what waits for keys, a box or the tray popup: the program ends the normal way. The
// cycle goes on under the popup. A terminal that cannot place the cursor gets no window.
// (The end box is answered by SIGTERM in the first test; every test ends by closing its
// terminal under the window.)
TEST_F(ZenpoTerminalTest, ASignalOrAClosedTerminalEndsTheProgramUnderABoxOrThePopup) {
  const std::string start_box = "ZENPOの常駐を開始します";
  const struct {
    const char* ini;
    const char* term;
    std::string waits;  // on the screen when the end comes
    int status;         // -1: the terminal is closed instead
  } kCases[] = {
      {"", "screen", start_box, 0},
      {"", "dumb", "ZENPO: " + start_box, 0},
      {"HIDE=1\nmsglevel=0\n", "screen", "NoWait", 121},
      {"HIDE=1\nmsglevel=0\n", "screen", "NoWait", -1},
  };
  for (const auto& c : kCases) {
    std::filesystem::remove(home() / "ZENPO.log");
    Start(c.ini + std::string("loglevel=2\n"), {{"TERM", c.term}});
    if (c.waits == "NoWait") {
      ASSERT_TRUE(WaitForPicture('I')) << tmux().Capture();
      OpenMenu("x");
      EXPECT_TRUE(c.status < 0 || (WaitForLog("(ReTry)") && Contains(tmux().Capture(), "NoWait")))
          << "the cycle goes on under the popup: " << Log();
    }
    ASSERT_TRUE(tmux().WaitForText(c.waits)) << tmux().Capture();
    if (c.status < 0) {
      const int pid = HangUp();
      EXPECT_TRUE(WaitForLog(" ZENPOの常駐を解除します\n")) << Log();
      EXPECT_TRUE(Eventually([&] { return ProcessEnded(pid); }, seconds(10)));
      continue;
    }
    ASSERT_EQ(kill(ZenpoPid(), SIGTERM), 0);
    ExpectEndedWith(c.status);
    EXPECT_TRUE(Log().ends_with(" ZENPOの常駐を解除します\n")) << c.waits << Log();
  }
}

}  // namespace
}  // namespace zenpo::test
