// The built program in a real terminal: its boxes, window, menu, tray row and end, as
// the user sees them in tmux.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "support/tmux_session.h"
#include "support/xvfb_display.h"
#include "support/zenpo_process.h"

namespace zenpo::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

const std::string kShapes = "\u25cf\u25cf\u25b2";
const std::string kRed = "\x1b[31m";
const std::string kLightGrey = "\x1b[37m";

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Whether zenpo's process pid has ended: it is gone, a zombie its new parent has yet to
// reap, or the id now belongs to another program.
bool ProcessEnded(int pid) {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec);
  return ec || exe != std::filesystem::canonical(ZENPO_BINARY);
}

// Where a menu item stands on the screen and whether it carries the check mark.
struct ShownItem {
  int row = -1;
  bool checked = false;
};

ShownItem FindItem(const std::vector<std::string>& rows, const std::string& label) {
  for (std::size_t r = 0; r < rows.size(); ++r) {
    // An item is drawn right after a box border: a mark column, then the label.
    for (const char* mark : {"   ", " \u2713 "}) {
      const std::string cell = "\u2502" + std::string(mark) + label;
      const std::size_t at = rows[r].find(cell);
      if (at == std::string::npos) continue;
      const std::size_t after = at + cell.size();
      if (after < rows[r].size() && rows[r][after] != ' ') continue;  // a longer label
      return {static_cast<int>(r), mark[1] != ' '};
    }
  }
  return {};
}

class ZenpoTerminalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ProgramOnPath("tmux")) GTEST_SKIP() << "tmux is not installed";
  }

  // Runs zenpo in an 80 x 24 terminal with the settings file ini (none when empty),
  // through a shell that, once zenpo has ended, writes its exit status and the terminal's
  // line settings to ended.txt.
  void Start(const std::string& ini) {
    if (!ini.empty()) WriteFile(home_ / "ZENPO.ini", ini);
    const std::string script =
        "\"$0\"; s=$?; t=$(stty -a | tr ' ;' '\\n\\n' | grep -x -e '-\\?icanon' -e '-\\?echo' | "
        "tr '\\n' ' '); echo \"$s; $t\" > \"$1.tmp\" && mv \"$1.tmp\" \"$1\"";
    via_shell_ = true;
    StartCommand("/bin/sh -c " + ShellQuote(script) + " " + ShellQuote(ZENPO_BINARY) + " " +
                 ShellQuote(ended_path()));
  }
  // Runs zenpo itself as the terminal's command, so that the pane's process is zenpo.
  void StartDirectly(const std::string& ini) {
    if (!ini.empty()) WriteFile(home_ / "ZENPO.ini", ini);
    StartCommand(ShellQuote(ZENPO_BINARY));
  }
  void StartCommand(const std::string& command) {
    // No desktop: the program must not reach for a clipboard or a desktop opener.
    session_ = std::make_unique<TmuxSession>(
        command, 80, 24, std::map<std::string, std::string>{{"ZENPO_HOME", home_.path().string()},
                                                            {"DISPLAY", ""}});
    ASSERT_TRUE(session_->ok());
  }

  TmuxSession& tmux() { return *session_; }
  std::vector<std::string> Rows() { return tmux().Rows(); }
  std::string Row(int n) {
    const std::vector<std::string> rows = Rows();
    return n < static_cast<int>(rows.size()) ? rows[static_cast<std::size_t>(n)] : "";
  }
  // The coloured form of the row that holds text, empty when none does.
  std::string ColouredRowWith(const std::string& text) {
    std::istringstream in(tmux().Capture(true));
    for (std::string line; std::getline(in, line);) {
      if (Contains(line, text)) return line;
    }
    return "";
  }

  bool WaitForStateLine(const std::string& state, milliseconds timeout = seconds(10)) {
    // The state line is the window's second row; the rest of it is blank.
    return tmux().WaitForScreen(
        [&](const std::string& screen) {
          std::istringstream in(screen);
          std::string title, row;
          std::getline(in, title);
          std::getline(in, row);
          while (!row.empty() && row.back() == ' ') row.pop_back();
          return row == " " + state;
        },
        timeout);
  }
  bool WaitForPicture(char letter) {
    return tmux().WaitForScreen([&](const std::string& screen) {
      return screen.substr(0, screen.find('\n')).find(kShapes + " " + letter) != std::string::npos;
    });
  }
  std::string Log() const { return ReadFile(home_ / "ZENPO.log"); }
  bool WaitForLog(const std::string& text, milliseconds timeout = seconds(10)) const {
    return Eventually([&] { return Contains(Log(), text); }, timeout);
  }

  // Opens the window's menu and waits until it is drawn.
  void OpenMenu() {
    tmux().SendKeys({"m"});
    ASSERT_TRUE(tmux().WaitForText("NoWait")) << tmux().Capture();
  }
  // Chooses the item that stands `index` items (separators skipped) below the first one
  // of the open menu: 0 "HIDE", 1 "PAUSE", 2 "EXIT".
  void ChooseOpenMenuItem(int index) {
    std::vector<std::string> keys(static_cast<std::size_t>(index), "Down");
    keys.push_back("Enter");
    tmux().SendKeys(keys);
    ASSERT_TRUE(tmux().WaitForScreen(
        [](const std::string& s) { return !Contains(s, "NoWait"); }))
        << "the menu closes when an item is chosen";
  }
  ShownItem MenuItem(const std::string& label) { return FindItem(Rows(), label); }

  std::string ended_path() const { return (home_ / "ended.txt").string(); }
  bool Ended(milliseconds timeout = seconds(10)) const {
    return Eventually([&] { return std::filesystem::exists(ended_path()); }, timeout);
  }
  // After zenpo has ended: its exit status, and the terminal handed back as it was, with
  // lines edited and echoed again.
  void ExpectEndedWith(int status) {
    ASSERT_TRUE(Ended(seconds(15))) << tmux().Capture();
    EXPECT_EQ(ReadFile(ended_path()), std::to_string(status) + "; icanon echo \n");
  }

  int ZenpoPid() {
    const int pane = tmux().PanePid();
    // Through the shell, zenpo is its child; once zenpo has ended, there is none.
    const std::string children =
        ReadFile("/proc/" + std::to_string(pane) + "/task/" + std::to_string(pane) + "/children");
    return via_shell_ ? std::atoi(children.c_str()) : pane;
  }

  // Closes the terminal under the program, as closing its terminal window does; the
  // program must then end by itself. Gives the program's process id.
  int HangUp() {
    const int pid = ZenpoPid();
    session_.reset();
    orphan_ = pid;
    return pid;
  }

  // Every test ends by closing the terminal, which must end the program wherever it
  // stands; one that outlives its terminal is a failure and does not outlive the test.
  void TearDown() override {
    if (session_ && session_->ok()) HangUp();
    if (orphan_ <= 0) return;
    if (!Eventually([&] { return ProcessEnded(orphan_); }, seconds(10))) {
      ADD_FAILURE() << "zenpo still runs after its terminal was closed";
      kill(orphan_, SIGKILL);
    }
  }

  TempDir home_;
  std::unique_ptr<TmuxSession> session_;
  bool via_shell_ = false;
  int orphan_ = 0;
};

TEST_F(ZenpoTerminalTest, StartBoxStandsAloneUntilClosedThenTheIdleWindowShows) {
  Start("");
  ASSERT_TRUE(tmux().WaitForText("ZENPOの常駐を開始します")) << tmux().Capture();
  std::string screen = tmux().Capture();
  EXPECT_TRUE(Contains(screen, "\u250c\u2500 ZENPO ")) << "the caption sits in the top border";
  EXPECT_TRUE(Contains(screen, "[  OK  ]"));
  // Nothing of the window while the box waits, not even after a tick of the cycle.
  EXPECT_FALSE(tmux().WaitForScreen(
      [](const std::string& s) {
        return Contains(s, "ZENPO_main_0") || Contains(s, "WAITING") || Contains(s, "MENU");
      },
      milliseconds(1500)))
      << tmux().Capture();

  tmux().SendKeys({"Enter"});
  ASSERT_TRUE(WaitForStateLine("WAITING")) << tmux().Capture();
  screen = tmux().Capture();
  EXPECT_FALSE(Contains(screen, "ZENPOの常駐を開始します")) << screen;
  EXPECT_FALSE(Contains(screen, "[  OK  ]"));
  const std::vector<std::string> rows = Rows();
  ASSERT_EQ(rows.size(), 24u);
  EXPECT_TRUE(rows[0].starts_with(" ZENPO_main_0 ")) << rows[0];
  EXPECT_TRUE(Contains(rows[0], kShapes + " I")) << rows[0];
  EXPECT_TRUE(rows[23].starts_with(" F1/m: MENU")) << rows[23];
  EXPECT_TRUE(Contains(ColouredRowWith(kShapes), kLightGrey + kShapes))
      << "the idle picture is light grey";
  EXPECT_FALSE(Contains(ColouredRowWith("WAITING"), kRed)) << "only closing is red";
}

TEST_F(ZenpoTerminalTest, WithoutBoxesTheWindowComesAtOnceUnderItsOwnTitleAndEndsUnasked) {
  Start("msglevel=0\r\ntitle=MyTitle\r\n");
  ASSERT_TRUE(WaitForStateLine("WAITING")) << tmux().Capture();
  EXPECT_TRUE(Row(0).starts_with(" MyTitle ")) << Row(0);
  EXPECT_FALSE(Contains(tmux().Capture(), "ZENPO_main_0"));
  EXPECT_TRUE(Contains(Log(), " ZENPOの常駐を開始します\n")) << "logged, just not shown";

  OpenMenu();
  ChooseOpenMenuItem(2);  // "EXIT"
  // No end box waits for a key: the program ends by itself.
  ASSERT_TRUE(Ended()) << tmux().Capture();
  EXPECT_TRUE(Log().ends_with(" ZENPOの常駐を解除します\n")) << Log();
}

TEST_F(ZenpoTerminalTest, MenuShowsEveryItemInOrderWithOnlyNoWaitMarked) {
  Start("msglevel=0\n");
  ASSERT_TRUE(WaitForStateLine("WAITING"));
  OpenMenu();
  std::vector<std::string> rows = Rows();
  const ShownItem hide = FindItem(rows, "HIDE"), pause = FindItem(rows, "PAUSE"),
                  exit = FindItem(rows, "EXIT"), open = FindItem(rows, "OPEN"),
                  clip = FindItem(rows, "CheckClip"), no_wait = FindItem(rows, "NoWait");
  const std::string screen = tmux().Capture();
  ASSERT_GT(hide.row, 0) << screen;
  // One item a row; a separator before and after "OPEN".
  EXPECT_EQ(pause.row, hide.row + 1) << screen;
  EXPECT_EQ(exit.row, hide.row + 2) << screen;
  EXPECT_EQ(open.row, hide.row + 4) << screen;
  EXPECT_EQ(clip.row, hide.row + 6) << screen;
  EXPECT_EQ(no_wait.row, hide.row + 7) << screen;
  EXPECT_TRUE(rows[static_cast<std::size_t>(hide.row + 3)].starts_with("\u251c")) << screen;
  EXPECT_TRUE(rows[static_cast<std::size_t>(hide.row + 5)].starts_with("\u251c")) << screen;
  EXPECT_TRUE(no_wait.checked) << screen;
  EXPECT_FALSE(hide.checked || pause.checked || clip.checked) << screen;
  EXPECT_FALSE(Contains(screen, "iniFIle")) << "the sub-menu opens on demand";

  tmux().SendKeys({"Down", "Down", "Down", "Right"});
  ASSERT_TRUE(tmux().WaitForText("iniFIle")) << tmux().Capture();
  rows = Rows();
  const ShownItem ini = FindItem(rows, "iniFIle"), list = FindItem(rows, "ListFile"),
                  log = FindItem(rows, "LogFile");
  EXPECT_EQ(ini.row, FindItem(rows, "OPEN").row) << "beside the item that opens it";
  EXPECT_EQ(list.row, ini.row + 1) << tmux().Capture();
  EXPECT_EQ(log.row, ini.row + 2) << tmux().Capture();

  // Esc closes the sub-menu, then the menu; the window is as before.
  tmux().SendKeys({"Escape"});
  ASSERT_TRUE(tmux().WaitForScreen([](const std::string& s) { return !Contains(s, "iniFIle"); }));
  EXPECT_TRUE(Contains(tmux().Capture(), "NoWait"));
  tmux().SendKeys({"Escape"});
  ASSERT_TRUE(tmux().WaitForScreen([](const std::string& s) { return !Contains(s, "NoWait"); }));
  EXPECT_TRUE(WaitForStateLine("WAITING"));
}

TEST_F(ZenpoTerminalTest, PauseShowsAtOnceThenAtTheNextTickAndResumeUndoesIt) {
  Start("msglevel=0\nloglevel=2\n");
  ASSERT_TRUE(WaitForStateLine("WAITING"));
  // The first selection (no list: in use) has just restarted the cycle's second count,
  // so the next tick is about a second away.
  ASSERT_TRUE(WaitForLog("listfileを他で使用中です(ReTry)")) << Log();
  OpenMenu();
  ChooseOpenMenuItem(1);  // "PAUSE"
  EXPECT_TRUE(WaitForStateLine("WAITING PAUSE", milliseconds(900))) << tmux().Capture();
  ASSERT_TRUE(WaitForStateLine("PAUSE", seconds(2))) << tmux().Capture();
  EXPECT_TRUE(WaitForPicture('P')) << Row(0);
  EXPECT_TRUE(Contains(ColouredRowWith(kShapes), kRed + kShapes)) << "the paused picture is red";
  OpenMenu();
  EXPECT_TRUE(MenuItem("PAUSE").checked) << tmux().Capture();
  EXPECT_FALSE(MenuItem("HIDE").checked);

  ChooseOpenMenuItem(1);  // "PAUSE" again
  EXPECT_TRUE(WaitForStateLine("WAITING")) << tmux().Capture();
  EXPECT_TRUE(WaitForPicture('I')) << Row(0);
  OpenMenu();
  EXPECT_FALSE(MenuItem("PAUSE").checked) << tmux().Capture();
  tmux().SendKeys({"Escape"});
  // A tick while resumed leaves the state line alone.
  EXPECT_FALSE(WaitForStateLine("PAUSE", milliseconds(1500))) << tmux().Capture();
}

TEST_F(ZenpoTerminalTest, ExitShowsRedClosingStateThenTheEndBoxAndEndsWithTheLastResult) {
  Start("loglevel=2\n");
  ASSERT_TRUE(tmux().WaitForText("ZENPOの常駐を開始します"));
  tmux().SendKeys({"Enter"});
  ASSERT_TRUE(WaitForStateLine("WAITING"));
  // The first selection finds no list (121); the next tick is about a second away.
  ASSERT_TRUE(WaitForLog("listfileを他で使用中です(ReTry)")) << Log();
  OpenMenu();
  ChooseOpenMenuItem(2);  // "EXIT"
  ASSERT_TRUE(WaitForStateLine("WAITING CLOSE", milliseconds(900))) << tmux().Capture();
  EXPECT_TRUE(Contains(ColouredRowWith("WAITING CLOSE"), kRed + "WAITING CLOSE"))
      << ColouredRowWith("WAITING CLOSE");

  ASSERT_TRUE(tmux().WaitForText("ZENPOの常駐を解除します")) << tmux().Capture();
  EXPECT_TRUE(Contains(tmux().Capture(), "[  OK  ]"));
  // The box waits for the user: the program has not ended under it.
  EXPECT_FALSE(Ended(milliseconds(1000)));
  tmux().SendKeys({"Enter"});
  ExpectEndedWith(121);
}

// A service manager's stop must not hang on a box: the signal answers the box that is
// open, and the program ends the normal way without waiting for another.
TEST_F(ZenpoTerminalTest, ATerminatingSignalAnswersTheStartOrTheEndBox) {
  for (const bool at_start : {true, false}) {
    std::filesystem::remove(ended_path());
    Start("loglevel=2\n");
    ASSERT_TRUE(tmux().WaitForText("ZENPOの常駐を開始します")) << tmux().Capture();
    if (!at_start) {
      tmux().SendKeys({"Enter"});
      ASSERT_TRUE(WaitForLog("listfileを他で使用中です(ReTry)")) << Log();
      OpenMenu();
      ChooseOpenMenuItem(2);  // "EXIT"
      ASSERT_TRUE(tmux().WaitForText("ZENPOの常駐を解除します")) << tmux().Capture();
    }
    ASSERT_EQ(kill(ZenpoPid(), SIGTERM), 0);
    ExpectEndedWith(at_start ? 0 : 121);
    EXPECT_TRUE(Log().ends_with(" ZENPOの常駐を解除します\n")) << Log();
  }
}

TEST_F(ZenpoTerminalTest, HiddenStartIsTheTrayRowWhoseKeyOpensThePopup) {
  Start("HIDE=1\nmsglevel=0\n");
  ASSERT_TRUE(WaitForPicture('I')) << tmux().Capture();
  std::vector<std::string> rows = Rows();
  EXPECT_TRUE(rows[0].starts_with(" ZENPO_main_0 ")) << rows[0];
  for (std::size_t r = 1; r < rows.size(); ++r) {
    EXPECT_EQ(rows[r].find_first_not_of(' '), std::string::npos) << "row " << r << ": " << rows[r];
  }

  // Any key on the tray row is the tap; Esc closes the popup and the window stays hidden.
  tmux().SendKeys({"x"});
  ASSERT_TRUE(tmux().WaitForText("NoWait")) << tmux().Capture();
  EXPECT_TRUE(MenuItem("HIDE").checked) << tmux().Capture();
  tmux().SendKeys({"Escape"});
  ASSERT_TRUE(tmux().WaitForScreen([](const std::string& s) { return !Contains(s, "NoWait"); }));
  EXPECT_FALSE(Contains(tmux().Capture(), "WAITING"));

  tmux().SendKeys({"F1"});
  ASSERT_TRUE(tmux().WaitForText("NoWait")) << tmux().Capture();
  ChooseOpenMenuItem(0);  // "HIDE"
  ASSERT_TRUE(WaitForStateLine("WAITING")) << tmux().Capture();
  EXPECT_TRUE(tmux().WaitForText("F1/m: MENU"));
  OpenMenu();
  EXPECT_FALSE(MenuItem("HIDE").checked) << tmux().Capture();
  tmux().SendKeys({"Escape"});

  // Shown, a key other than the menu's is no tap: no popup.
  tmux().SendKeys({"x"});
  EXPECT_FALSE(tmux().WaitForText("NoWait", milliseconds(500)));
}

TEST_F(ZenpoTerminalTest, ASecondStartShowsTheHiddenWindow) {
  Start("HIDE=1\nmsglevel=0\n");
  ASSERT_TRUE(WaitForPicture('I')) << tmux().Capture();
  ASSERT_FALSE(Contains(tmux().Capture(), "WAITING"));
  ZenpoProcess second(home_.path());
  EXPECT_EQ(second.WaitExit(seconds(10)), 0);
  ASSERT_TRUE(WaitForStateLine("WAITING")) << tmux().Capture();
  OpenMenu();
  EXPECT_FALSE(MenuItem("HIDE").checked) << tmux().Capture();
}

// Closing the terminal asks the program to end. A box or the tray popup that waits for
// keys must not keep it alive, spinning on a terminal that answers nothing any more; the
// box's text goes to the log and stderr instead.
TEST_F(ZenpoTerminalTest, ClosingTheTerminalUnderABoxEndsTheProgram) {
  StartDirectly("");
  ASSERT_TRUE(tmux().WaitForText("ZENPOの常駐を開始します")) << tmux().Capture();
  const int pid = HangUp();
  EXPECT_TRUE(WaitForLog(" ZENPOの常駐を解除します\n")) << Log();
  EXPECT_TRUE(Eventually([&] { return ProcessEnded(pid); }, seconds(10)));
}

TEST_F(ZenpoTerminalTest, ClosingTheTerminalUnderTheTrayPopupEndsTheProgram) {
  StartDirectly("HIDE=1\nmsglevel=0\n");
  ASSERT_TRUE(WaitForPicture('I')) << tmux().Capture();
  tmux().SendKeys({"x"});
  ASSERT_TRUE(tmux().WaitForText("NoWait")) << tmux().Capture();
  const int pid = HangUp();
  EXPECT_TRUE(WaitForLog(" ZENPOの常駐を解除します\n")) << Log();
  EXPECT_TRUE(Eventually([&] { return ProcessEnded(pid); }, seconds(10)));
}

}  // namespace
}  // namespace zenpo::test
