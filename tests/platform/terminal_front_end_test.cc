// The terminal front end in a real terminal: a driver program around it runs in tmux,
// the tests type keys, click, resize and read the screen.
#include "platform/terminal/terminal_front_end.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "support/tmux_session.h"
#include "support/xvfb_display.h"

namespace zenpo::test {
namespace {

// Terminal columns of UTF-8 text, counted independently of the code under test: East
// Asian wide characters take two.
int Columns(const std::string& utf8) {
  int columns = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    std::uint32_t cp = c;
    std::size_t len = 1;
    if (c >= 0xf0) {
      cp = c & 0x07, len = 4;
    } else if (c >= 0xe0) {
      cp = c & 0x0f, len = 3;
    } else if (c >= 0xc0) {
      cp = c & 0x1f, len = 2;
    }
    for (std::size_t k = 1; k < len && i + k < utf8.size(); ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3f);
    }
    const bool wide = (cp >= 0x1100 && cp <= 0x115f) || (cp >= 0x2e80 && cp <= 0xa4cf) ||
                      (cp >= 0xac00 && cp <= 0xd7a3) || (cp >= 0xf900 && cp <= 0xfaff) ||
                      (cp >= 0xfe30 && cp <= 0xfe4f) || (cp >= 0xff00 && cp <= 0xff60) ||
                      (cp >= 0xffe0 && cp <= 0xffe6);
    columns += wide ? 2 : 1;
    i += len;
  }
  return columns;
}

// The column where needle starts in a captured row, -1 when it is not there.
int ColumnOf(const std::string& row, const std::string& needle) {
  const std::size_t at = row.find(needle);
  return at == std::string::npos ? -1 : Columns(row.substr(0, at));
}

// The last row that holds text, -1 when none does.
int RowWith(const std::vector<std::string>& rows, const std::string& text) {
  for (int r = static_cast<int>(rows.size()) - 1; r >= 0; --r) {
    if (rows[r].find(text) != std::string::npos) return r;
  }
  return -1;
}

std::string TrimRight(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class TerminalFrontEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ProgramOnPath("tmux")) GTEST_SKIP() << "tmux is not installed";
  }

  // Runs the driver with its arguments in a terminal of that size.
  void Start(const std::string& arguments, int columns = 80, int rows = 24,
             const std::map<std::string, std::string>& env = {}) {
    session_ = std::make_unique<TmuxSession>(
        ShellQuote(ZENPO_TERMINAL_DRIVER) + " " + ShellQuote(log_path()) + " " + arguments,
        columns, rows, env);
    ASSERT_TRUE(session_->ok());
    ASSERT_TRUE(WaitForLog("front end")) << Log();
  }

  std::string log_path() const { return (dir_ / "driver.log").string(); }
  std::string Log() const { return ReadFile(dir_ / "driver.log"); }
  bool WaitForLog(const std::string& line) const {
    return WaitUntil([&] { return Contains(Log(), line + "\n"); });
  }
  int Ticks() const { return std::atoi(ReadFile(dir_ / "driver.log.ticks").c_str()); }
  int DriverPid() const { return session_->PanePid(); }

  TmuxSession& tmux() { return *session_; }

  TempDir dir_;
  std::unique_ptr<TmuxSession> session_;
};

TEST_F(TerminalFrontEndTest, WindowShowsTitlePictureAndStatusLinesAtTheirPlaces) {
  const std::string url =
      "http://example.test/some directory/with spaces in it/and a rather long file name.zip";
  Start("--url " + ShellQuote(url), 60, 16);
  ASSERT_TRUE(tmux().WaitForText("F1/m: MENU")) << tmux().Capture();
  const std::vector<std::string> rows = tmux().Rows();
  ASSERT_EQ(rows.size(), 16u);
  EXPECT_EQ(ColumnOf(rows[0], "ZENPO_main_0"), 1);
  // The idle picture sits at the right end of the title row.
  EXPECT_TRUE(Contains(rows[0], "\u25cf\u25cf\u25b2 I")) << rows[0];
  EXPECT_EQ(Columns(TrimRight(rows[0])), 59);
  EXPECT_EQ(ColumnOf(rows[1], "LOADING"), 1);
  // Right-aligned with one column to spare, as the window keeps its right margin.
  EXPECT_EQ(ColumnOf(rows[1], "Resume OK") + 9, 59) << rows[1];
  EXPECT_EQ(ColumnOf(rows[2], "1000 / 2000 Bytes [ 50% ]"), 1);
  EXPECT_EQ(ColumnOf(rows[3], "Time : 3 [ -3 ] sec"), 1);
  EXPECT_EQ(ColumnOf(rows[4], "Avg.BAND : 2 Kbps"), 1);
  // The URL wraps at its spaces, and every word of it is there.
  std::string joined;
  for (std::size_t r = 5; r < 15 && !TrimRight(rows[r]).empty(); ++r) {
    EXPECT_LE(Columns(TrimRight(rows[r])), 59) << rows[r];
    EXPECT_EQ(rows[r][0], ' ');
    EXPECT_NE(rows[r][1], ' ') << "a row starts with the space it broke at: " << rows[r];
    joined += (joined.empty() ? "" : " ") + TrimRight(rows[r]).substr(1);
  }
  EXPECT_EQ(joined, url);
  EXPECT_EQ(TrimRight(rows[15]), " F1/m: MENU");
}

TEST_F(TerminalFrontEndTest, MenuOpensByKeyAndClickShowsItsItemsAndPostsTheChoice) {
  Start("");
  ASSERT_TRUE(tmux().WaitForText("F1/m: MENU"));
  tmux().SendKeys({"F1"});
  ASSERT_TRUE(tmux().WaitForText("CheckClip")) << tmux().Capture();
  std::string screen = tmux().Capture();
  for (const char* label : {"HIDE", "PAUSE", "EXIT", "OPEN", "CheckClip"}) {
    EXPECT_TRUE(Contains(screen, label)) << label;
  }
  EXPECT_TRUE(Contains(screen, "\u2713 NoWait")) << screen;
  EXPECT_FALSE(Contains(screen, "\u2713 PAUSE"));
  EXPECT_FALSE(Contains(screen, "iniFIle"));  // the sub-menu opens on demand

  // Down to OPEN past the separator, into the sub-menu, down to ListFile.
  tmux().SendKeys({"Down", "Down", "Down", "Enter"});
  ASSERT_TRUE(tmux().WaitForText("iniFIle")) << tmux().Capture();
  screen = tmux().Capture();
  EXPECT_TRUE(Contains(screen, "ListFile") && Contains(screen, "LogFile"));
  tmux().SendKeys({"Escape"});
  ASSERT_TRUE(tmux().WaitForScreen([](const std::string& s) { return !Contains(s, "iniFIle"); }));
  EXPECT_TRUE(Contains(tmux().Capture(), "CheckClip"));
  tmux().SendKeys({"Escape"});
  ASSERT_TRUE(tmux().WaitForScreen([](const std::string& s) { return !Contains(s, "CheckClip"); }));
  EXPECT_FALSE(Contains(Log(), "command"));

  // The bottom-row button opens it too; a click on an item chooses it.
  tmux().Click(23, 3);
  ASSERT_TRUE(tmux().WaitForText("CheckClip")) << tmux().Capture();
  const std::vector<std::string> rows = tmux().Rows();
  const int pause_row = RowWith(rows, "PAUSE");
  ASSERT_GE(pause_row, 0);
  tmux().Click(pause_row, ColumnOf(rows[pause_row], "PAUSE"));
  ASSERT_TRUE(WaitForLog("command 40005")) << Log();
  // The program marked the item and switched the picture; the menu shows it next time.
  ASSERT_TRUE(tmux().WaitForText("\u25b2 P"));
  tmux().SendKeys({"m"});
  ASSERT_TRUE(tmux().WaitForText("\u2713 PAUSE")) << tmux().Capture();
  // Up from the first item wraps to the last.
  tmux().SendKeys({"Up", "Enter"});
  ASSERT_TRUE(WaitForLog("command 40007")) << Log();
  EXPECT_EQ(Log().find("command 40005\ncommand 40007\n") != std::string::npos, true) << Log();
}

TEST_F(TerminalFrontEndTest, HiddenWindowIsTheTrayRowAndATapOpensThePopup) {
  Start("--hidden");
  ASSERT_TRUE(tmux().WaitForText("ZENPO_main_0"));
  std::vector<std::string> rows = tmux().Rows();
  for (std::size_t r = 1; r < rows.size(); ++r) EXPECT_EQ(TrimRight(rows[r]), "") << r;

  // A click on the tray row, then Esc: the popup closes without a command.
  tmux().Click(0, 5);
  ASSERT_TRUE(WaitForLog("tray")) << Log();
  ASSERT_TRUE(tmux().WaitForText("\u2713 HIDE")) << tmux().Capture();
  rows = tmux().Rows();
  EXPECT_TRUE(Contains(rows[1], "\u250c")) << "the popup hangs below the tray row";
  tmux().SendKeys({"Escape"});
  ASSERT_TRUE(WaitForLog("popup closed"));
  EXPECT_FALSE(Contains(Log(), "command"));

  // Keys typed right behind the tapping key go to the popup it opens.
  tmux().SendKeys({"x", "Down", "Enter"});
  ASSERT_TRUE(WaitForLog("command 40005")) << Log();
  EXPECT_TRUE(Contains(Log(), "tray\npopup closed\ntray\npopup closed\ncommand 40005\n")) << Log();

  // HIDE from the popup shows the window again.
  tmux().SendKeys({"Space"});
  ASSERT_TRUE(tmux().WaitForText("\u2713 HIDE"));
  tmux().SendKeys({"Enter"});
  ASSERT_TRUE(WaitForLog("command 40004"));
  ASSERT_TRUE(tmux().WaitForText("F1/m: MENU")) << tmux().Capture();
  EXPECT_TRUE(Contains(tmux().Capture(), "WAITING PAUSE"));
}

// The popup is modal as a platform's menu is: the loop's timers and signals go on under
// it, and its quit message closes it.
TEST_F(TerminalFrontEndTest, TheLoopGoesOnUnderThePopupAndItsQuitClosesIt) {
  Start("--hidden");
  ASSERT_TRUE(tmux().WaitForText("ZENPO_main_0"));
  tmux().SendKeys({"x"});
  ASSERT_TRUE(tmux().WaitForText("\u2713 HIDE")) << tmux().Capture();
  const int ticks = Ticks();
  EXPECT_TRUE(WaitUntil([&] { return Ticks() > ticks + 3; })) << "the popup stopped the loop";
  ASSERT_EQ(kill(DriverPid(), SIGTERM), 0);
  EXPECT_TRUE(WaitForLog("ended 0")) << Log();
}

TEST_F(TerminalFrontEndTest, BoxFromAnotherThreadWaitsForEnterOverAWindowThatGoesOn) {
  Start("");
  ASSERT_TRUE(tmux().WaitForText("F1/m: MENU"));
  tmux().SendKeys({"m"});
  ASSERT_TRUE(tmux().WaitForText("CheckClip"));
  const std::string text = "別スレッドからの報告です。ダウンロードを続けます。";
  ASSERT_EQ(kill(DriverPid(), SIGUSR1), 0);
  ASSERT_TRUE(tmux().WaitForText(text)) << tmux().Capture();

  // Drawn whole, with its borders where the wide characters leave them.
  const std::vector<std::string> rows = tmux().Rows();
  const int text_row = RowWith(rows, text);
  ASSERT_GT(text_row, 0);
  EXPECT_TRUE(Contains(rows[text_row - 1], "ZENPO")) << rows[text_row - 1];
  const int left = ColumnOf(rows[text_row], "\u2502");
  const int right = ColumnOf(rows[text_row], text) + Columns(text) + 1;
  EXPECT_EQ(ColumnOf(rows[text_row - 1], "\u250c"), left);
  EXPECT_EQ(Columns(TrimRight(rows[text_row - 1].substr(0, rows[text_row - 1].find("\u2510")))),
            right) << rows[text_row - 1];
  EXPECT_TRUE(Contains(tmux().Capture(), "[  OK  ]"));
  // The window stays drawn around it and the loop keeps running.
  EXPECT_TRUE(Contains(rows[1], "LOADING"));
  const int ticks = Ticks();
  EXPECT_TRUE(WaitUntil([&] { return Ticks() > ticks + 3; }));

  // Keys belong to the box: Enter closes it and does not choose the menu's item.
  tmux().SendKeys({"Down", "Enter"});
  ASSERT_TRUE(WaitForLog("thread box closed")) << Log();
  ASSERT_TRUE(tmux().WaitForScreen([&](const std::string& s) { return !Contains(s, text); }));
  EXPECT_FALSE(Contains(Log(), "command"));
  EXPECT_TRUE(Contains(tmux().Capture(), "CheckClip")) << "the menu is still open";
}

TEST_F(TerminalFrontEndTest, ResizeRedrawsEverythingAtTheNewSize) {
  Start("--url " + ShellQuote("http://example.test/a b c d e f g h i j k l m n o p q r s"), 80,
        24);
  ASSERT_TRUE(tmux().WaitForText("F1/m: MENU"));
  tmux().Resize(30, 12);
  ASSERT_TRUE(tmux().WaitForScreen([](const std::string& s) {
    return s.find("F1/m: MENU") != std::string::npos && s.find("Resume OK") != std::string::npos;
  }));
  ASSERT_TRUE(WaitUntil([&] { return TrimRight(tmux().Rows()[11]) == " F1/m: MENU"; }))
      << tmux().Capture();
  const std::vector<std::string> rows = tmux().Rows();
  EXPECT_EQ(ColumnOf(rows[1], "Resume OK") + 9, 29) << rows[1];
  EXPECT_TRUE(Contains(rows[0], "\u25b2 I"));
  EXPECT_EQ(Columns(TrimRight(rows[0])), 29);
  EXPECT_EQ(TrimRight(rows[5]), " http://example.test/a b c d");
  EXPECT_EQ(TrimRight(rows[6]), " e f g h i j k l m n o p q r");
}

TEST_F(TerminalFrontEndTest, OnASmallTerminalLinesAreCutNeverDrawnOverOneAnother) {
  Start("--resume " + ShellQuote("Resume NG"), 20, 5);
  ASSERT_TRUE(tmux().WaitForText("F1/m: MENU"));
  std::vector<std::string> rows = tmux().Rows();
  EXPECT_TRUE(rows[3].starts_with(" Time : 3 [ -3 ]")) << rows[3];
  EXPECT_EQ(TrimRight(rows[4]), " F1/m: MENU") << "the bottom row stands alone";
  tmux().Resize(12, 24);
  ASSERT_TRUE(WaitUntil([&] { return TrimRight(tmux().Rows()[23]) == " F1/m: MENU"; }));
  rows = tmux().Rows();
  EXPECT_TRUE(rows[1].starts_with(" LOADING ")) << rows[1];
  // The menu scrolls on a screen shorter than itself, down to its last item.
  tmux().Resize(30, 6);
  tmux().SendKeys({"m", "Up"});
  EXPECT_TRUE(tmux().WaitForText("NoWait")) << tmux().Capture();
}

// Writes a shell script that can be run and returns its path.
std::string WriteScript(const std::string& path, const std::string& body) {
  WriteFile(path, "#!/bin/sh\n" + body);
  chmod(path.c_str(), 0755);
  return path;
}

// An editor stand-in: shows the file's name, takes one line from the keyboard, writes it
// next to the file.
std::string WriteEditor(const TempDir& dir) {
  return WriteScript((dir / "editor.sh").string(),
                     "printf 'EDITING [%s]\\n' \"$1\"\n"
                     "read line\n"
                     "case \"$line\" in wait) sleep 30 ;; esac\n"
                     "printf '%s\\n' \"$line\" > \"$1.typed\"\n");
}

TEST_F(TerminalFrontEndTest, EditorTakesTheTerminalWhileTheLoopGoesOnAndGivesItBack) {
  const std::string file = (dir_ / "list file's $(name).txt").string();
  WriteFile(file, "http://h/f.zip\n");
  Start("--open " + ShellQuote(file), 80, 24, {{"VISUAL", WriteEditor(dir_)}, {"DISPLAY", ""}});
  ASSERT_TRUE(tmux().WaitForText("F1/m: MENU"));
  tmux().SendKeys({"m", "Down", "Down", "Down", "Enter", "Down", "Enter"});
  // The file's name reaches the editor as it is, however the shell would read it.
  ASSERT_TRUE(tmux().WaitForText("EDITING [" + file + "]")) << tmux().Capture();
  EXPECT_TRUE(WaitForLog("open 1"));
  EXPECT_FALSE(Contains(tmux().Capture(), "F1/m: MENU"));
  const int ticks = Ticks();
  EXPECT_TRUE(WaitUntil([&] { return Ticks() > ticks + 3; })) << "the loop stopped";
  EXPECT_FALSE(Contains(tmux().Capture(), "LOADING")) << "drawn over the editor";

  tmux().SendKeys({"typed by hand", "Enter"});
  ASSERT_TRUE(WaitUntil([&] { return ReadFile(file + ".typed") == "typed by hand\n"; }));
  ASSERT_TRUE(tmux().WaitForText("F1/m: MENU")) << tmux().Capture();
  EXPECT_TRUE(Contains(tmux().Capture(), "LOADING"));
  EXPECT_FALSE(Contains(tmux().Capture(), "EDITING"));

  // Ctrl-C in the editor ends the editor, not the program.
  tmux().SendKeys({"m", "Down", "Down", "Down", "Enter", "Down", "Enter"});
  // The first editor's lines stay on the terminal's screen: wait for the second's.
  ASSERT_TRUE(tmux().WaitForScreen([](const std::string& screen) {
    const std::size_t first = screen.find("EDITING");
    return first != std::string::npos && screen.find("EDITING", first + 1) != std::string::npos;
  })) << tmux().Capture();
  tmux().SendKeys({"wait", "Enter"});
  tmux().SendKeys({"C-c"});
  ASSERT_TRUE(tmux().WaitForText("F1/m: MENU")) << tmux().Capture();
  EXPECT_FALSE(Contains(Log(), "ended"));
  tmux().SendKeys({"m", "Up", "Up", "Up", "Up", "Enter"});  // round the end up to EXIT
  ASSERT_TRUE(WaitForLog("command 40003")) << Log();
  EXPECT_TRUE(WaitForLog("ended 0"));
}

// A pager leaves the terminal's keys in their plain form when it ends; the window asks
// for the application form again, and at the end the shell gets the plain form back.
TEST_F(TerminalFrontEndTest, TheTerminalsKeyModeIsRestoredAfterAPagerAndAtTheEnd) {
  const std::string pager =
      WriteScript((dir_ / "pager.sh").string(), "read line\nprintf '\\033[?1l\\033>'\n");
  const std::string keys = (dir_ / "keys").string();
  session_ = std::make_unique<TmuxSession>(
      "/bin/sh -c " +
          ShellQuote("\"$0\" \"$1\" --open \"$1\"; IFS= read -r k; printf %s \"$k\" | od -An -c > \"$2\"") +
          " " + ShellQuote(ZENPO_TERMINAL_DRIVER) + " " + ShellQuote(log_path()) + " " + ShellQuote(keys),
      80, 24, std::map<std::string, std::string>{{"VISUAL", pager}, {"DISPLAY", ""}});
  ASSERT_TRUE(WaitForLog("front end")) << Log();
  ASSERT_TRUE(tmux().WaitForText("F1/m: MENU"));
  tmux().SendKeys({"m", "Down", "Down", "Down", "Enter", "Enter"});
  ASSERT_TRUE(WaitForLog("open 1")) << Log();
  tmux().SendKeys({"Enter"});
  ASSERT_TRUE(tmux().WaitForText("F1/m: MENU")) << tmux().Capture();
  tmux().SendKeys({"m", "Down", "Down", "Enter"});
  ASSERT_TRUE(WaitForLog("ended 0")) << Log();
  tmux().SendKeys({"Up", "Enter"});
  ASSERT_TRUE(WaitUntil([&] { return !ReadFile(keys).empty(); })) << tmux().Capture();
  EXPECT_EQ(ReadFile(keys), " 033   [   A\n") << "the shell gets the arrow keys' plain form";
}

TEST_F(TerminalFrontEndTest, DesktopOpenerStartsDetachedAndTheWindowStays) {
  const std::string bin = (dir_ / "bin").string();
  std::filesystem::create_directory(bin);
  WriteScript(bin + "/xdg-open",
              "printf '%s\\n' \"$1\" > " + ShellQuote((dir_ / "opened").string()) + "\n");
  const std::string file = (dir_ / "ZENPO.ini").string();
  const char* path = std::getenv("PATH");
  Start("--open " + ShellQuote(file), 80, 24,
        {{"DISPLAY", ":97"}, {"PATH", bin + ":" + (path ? path : "/usr/bin:/bin")}});
  ASSERT_TRUE(tmux().WaitForText("F1/m: MENU"));
  tmux().SendKeys({"m", "Down", "Down", "Down", "Enter", "Enter"});
  ASSERT_TRUE(WaitForLog("open 1")) << Log();
  EXPECT_TRUE(WaitUntil([&] { return ReadFile(dir_ / "opened") == file + "\n"; }));
  EXPECT_TRUE(Contains(tmux().Capture(), "F1/m: MENU"));
  tmux().SendKeys({"m", "Down", "Down", "Enter"});
  EXPECT_TRUE(WaitForLog("command 40003")) << "the keyboard still belongs to the window";
}

TEST_F(TerminalFrontEndTest, ATerminalThatCannotPlaceTheCursorIsNoWindow) {
  session_ = std::make_unique<TmuxSession>(
      ShellQuote(ZENPO_TERMINAL_DRIVER) + " " + ShellQuote(log_path()), 80, 24,
      std::map<std::string, std::string>{{"TERM", "dumb"}});
  EXPECT_TRUE(WaitForLog("headless")) << Log();
}

TEST(TerminalFrontEndHeadlessTest, WithoutATerminalNothingIsDrawnAndBoxesAreStderrLines) {
  TempDir dir;
  const std::string log = (dir / "driver.log").string();
  std::string out;
  if (FILE* p = popen((ShellQuote(ZENPO_TERMINAL_DRIVER) + " " + ShellQuote(log) +
                       " </dev/null 2>&1")
                          .c_str(),
                      "r")) {
    char buf[256];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    pclose(p);
  }
  EXPECT_EQ(ReadFile(log), "headless\n");
  EXPECT_EQ(out, "ZENPO: ヘッドレス\n");
}

}  // namespace
}  // namespace zenpo::test
