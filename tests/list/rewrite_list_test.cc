// The rewrite pass: byte-exact copies, line pieces, and every failure path with the
// files it leaves behind.
#include "list/rewrite_list.h"

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "list/append_list_url.h"
#include "list/list_test_home.h"
#include "list/select_next_entry.h"
#include "list/write_entry_result.h"

namespace zenpo {
namespace {

namespace fs = std::filesystem;

class RewriteListTest : public test::ListTest {
 protected:
  // A pass that marks every line reading "x" with 600 after running before on it.
  ResultCode MarkX(const RewriteCodes& codes, std::function<void()> before = [] {}) {
    return RewriteList(
        [&](const ListLine& line) {
          before();
          return line.parse() == L"x" ? LineEdit::Mark(600, 0) : LineEdit::Keep();
        },
        codes);
  }
};

TEST_F(RewriteListTest, PassKeepsEveryByteItDoesNotChange) {
  // CR LF, a zero byte, bytes that are no text, a note longer than one piece and a last
  // line without its line feed.
  const std::string middle = std::string("note\0zero\n", 10) + "\xff\xfe\n" +
                             std::string(7000, 'n') + "\n\n";
  WriteList("x\r\n" + middle + "x");
  ASSERT_EQ(MarkX(kWriteBackCodes), rc::kWriteDone);
  EXPECT_EQ(List(), "600|x\r\n" + middle + "600|x");
  EXPECT_TRUE(NoWorkingCopies());

  WriteList("");
  ASSERT_EQ(MarkX(kSelectionCodes), rc::kSelectDone);
  EXPECT_TRUE(fs::exists(ListFile()));
  EXPECT_EQ(List(), "");
}

TEST_F(RewriteListTest, LinesArePiecesOfAtMost6692Bytes) {
  WriteList(std::string(6691, 'a') + "\n" + std::string(6692, 'b') + "\n" +
            std::string(6697, 'c') + "\n");
  std::vector<std::pair<std::size_t, bool>> pieces;
  ASSERT_EQ(RewriteList(
                [&](const ListLine& l) {
                  pieces.emplace_back(l.bytes().size(), l.starts_line());
                  return LineEdit::Keep();
                },
                kWriteBackCodes),
            rc::kWriteDone);
  const std::vector<std::pair<std::size_t, bool>> expected = {
      {6692, true}, {6692, true}, {1, false}, {6692, true}, {6, false}};
  EXPECT_EQ(pieces, expected);
}

TEST_F(RewriteListTest, OverLongLineSurvivesEvenWhenItsRestLooksLikeAUrl) {
  // The rest of this line begins with a URL at byte 6692: no status may land inside it.
  const std::string line = std::string(6692, '-') + "http://h/rest.zip\n";
  WriteList(line + "http://h/next.zip\n");
  SelectedEntry entry;
  ASSERT_EQ(SelectNextEntry(&entry), rc::kSelectDone);
  EXPECT_EQ(entry.url, L"http://h/next.zip");
  ASSERT_EQ(WriteEntryResult(L"http://h/rest.zip", 900), rc::kWriteDone);
  EXPECT_EQ(List(), line + "899|http://h/next.zip\n");

  // An entry whose options run past one piece is chosen and marked at its start.
  const std::string cookie_line = "http://h/c.zip|Cookie=" + std::string(7000, 'k') + "\n";
  WriteList(cookie_line);
  entry = {};
  ASSERT_EQ(SelectNextEntry(&entry), rc::kSelectDone);
  EXPECT_EQ(entry.cookie.size(), 4096u);
  EXPECT_EQ(List(), "899|" + cookie_line);
}

TEST_F(RewriteListTest, ListInUseOrMissingChangesNothing) {
  SelectedEntry entry;
  EXPECT_EQ(SelectNextEntry(&entry), rc::kSelectInUse);
  EXPECT_EQ(WriteEntryResult(L"http://h/f.zip", 900), rc::kWriteInUse);
  EXPECT_EQ(AppendListUrl(L"http://h/f.zip"), rc::kWriteInUse);
  EXPECT_FALSE(fs::exists(ListFile()));  // nothing creates the list

  // A leftover lock name blocks the list the same way, and in use is never shown.
  WriteList("http://h/f.zip\n");
  test::WriteFile(LockFile(), "old\n");
  EXPECT_EQ(SelectNextEntry(&entry), rc::kSelectInUse);
  EXPECT_EQ(WriteEntryResult(L"http://h/f.zip", 900), rc::kWriteInUse);
  EXPECT_EQ(AppendListUrl(L"http://h/g.zip"), rc::kWriteInUse);
  EXPECT_EQ(List(), "http://h/f.zip\n");
  EXPECT_EQ(test::ReadFile(LockFile()), "old\n");
  EXPECT_TRUE(Boxes().empty());

  // A leftover new list is truncated by the next pass and does no harm.
  fs::remove(LockFile());
  test::WriteFile(NewFile(), "stale\n");
  EXPECT_EQ(SelectNextEntry(&entry), rc::kSelectDone);
  EXPECT_EQ(List(), "899|http://h/f.zip\n");
  EXPECT_TRUE(NoWorkingCopies());
}

TEST_F(RewriteListTest, EarlyFailuresPutTheUnchangedListBack) {
  struct Case {
    std::function<void()> provoke;
    ResultCode selection, write_back;
    std::wstring selection_box, write_back_box;
  };
  const Case cases[] = {
      // The new list cannot be created: a directory stands in its place.
      {[&] { fs::create_directory(NewFile()); }, 110, 150,
       L"listfileの初期化でerrorが発生しました", L"listfileの初期化でerrorが発生しました"},
      // The list cannot be read: it is a directory.
      {[&] { fs::remove(ListFile()), fs::create_directory(ListFile()); }, 111, 151,
       L"listfileのopenでerrorが発生しました", L"listfileの書込openでerrorが発生しました"},
      // The disk is full while the new list is written: a cut copy must not win.
      {[&] { fs::create_symlink("/dev/full", NewFile()); }, 112, 152,
       L"listfileの書込でerrorが発生しました", L"listfileの書込でerrorが発生しました"},
  };
  const std::string list = "note\n600|http://h/f.zip\n";
  for (const Case& c : cases) {
    for (bool selection : {true, false}) {
      WriteList(list);
      c.provoke();
      SelectedEntry entry;
      const ResultCode code =
          selection ? SelectNextEntry(&entry) : WriteEntryResult(L"http://h/f.zip", 900);
      EXPECT_EQ(code, selection ? c.selection : c.write_back);
      EXPECT_TRUE(entry.url.empty());
      EXPECT_FALSE(fs::exists(LockFile()));
      if (fs::is_regular_file(ListFile())) {
        EXPECT_EQ(List(), list);
      }
      ASSERT_FALSE(Boxes().empty());
      EXPECT_EQ(Boxes().back(), selection ? c.selection_box : c.write_back_box);
      fs::remove_all(ListFile());
      fs::remove_all(NewFile());
    }
  }
  EXPECT_NE(Log().find("listfileの書込でerrorが発生しました"), std::string::npos);
}

TEST_F(RewriteListTest, LateFailuresLeaveTheCopiesAsTheyAreAndBlockTheList) {
  for (const RewriteCodes* codes : {&kSelectionCodes, &kWriteBackCodes}) {
    // Someone puts a directory where the new list must go while the pass runs: both
    // copies stay under their working names.
    WriteList("x\n");
    EXPECT_EQ(MarkX(*codes, [&] { fs::create_directory(ListFile()); }), codes->release);
    EXPECT_EQ(test::ReadFile(LockFile()), "x\n");
    EXPECT_EQ(test::ReadFile(NewFile()), "600|x\n");
    EXPECT_EQ(Boxes().back(), L"listfileの書込ロック解除でerrorが発生しました");
    EXPECT_EQ(AppendListUrl(L"http://h/f.zip"), rc::kWriteInUse);
    fs::remove(ListFile());
    fs::remove(LockFile());
    fs::remove(NewFile());

    // The old copy turns into something that cannot be deleted as a file: the new list
    // is in place, yet the leftover blocks every party.
    WriteList("x\n");
    EXPECT_EQ(MarkX(*codes, [&] { fs::remove(LockFile()), fs::create_directory(LockFile()); }),
              codes->remove);
    EXPECT_EQ(List(), "600|x\n");
    EXPECT_FALSE(fs::exists(NewFile()));
    EXPECT_EQ(Boxes().back(), L"TempFile削除でerrorが発生しました");
    SelectedEntry entry;
    EXPECT_EQ(SelectNextEntry(&entry), rc::kSelectInUse);
    fs::remove(LockFile());
  }
}

TEST_F(RewriteListTest, UnusableLogTurnsEveryOutcomeInto102) {
  // In use is reported at level 2: with loglevel 2 its report fails too.
  home_.LoadSettingsText("loglevel=2\n");
  BreakLog();
  SelectedEntry entry;
  EXPECT_EQ(SelectNextEntry(&entry), rc::kLogUnusable);

  // A chosen entry is marked and handed out even when its report fails.
  home_.LoadSettingsText("");
  BreakLog();
  WriteList("http://h/f.zip\n");
  EXPECT_EQ(SelectNextEntry(&entry), rc::kLogUnusable);
  EXPECT_EQ(entry.url, L"http://h/f.zip");
  EXPECT_EQ(List(), "899|http://h/f.zip\n");
  EXPECT_EQ(Boxes().back(), ProgramPaths.LogPath);
}

}  // namespace
}  // namespace zenpo
