// The rewrite pass: its line pieces, byte-exact copies and every failure path with the
// files it leaves behind.
#include "list/rewrite_list.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "list/append_list_url.h"
#include "list/list_test_home.h"
#include "list/select_next_entry.h"
#include "list/write_entry_result.h"

namespace zenpo {
namespace {

namespace fs = std::filesystem;

class RewriteListTest : public test::ListTest {};

// Marks every line whose parse copy is exactly "x" with 600, keeps the rest.
LineEdit MarkX(const ListLine& line) {
  return line.parse() == L"x" ? LineEdit::Mark(600, 0) : LineEdit::Keep();
}

TEST_F(RewriteListTest, PassKeepsEveryByteItDoesNotChange) {
  // CR LF endings, zero bytes, bytes that are no text of the code page, a last line
  // without line feed, and a comment longer than one piece.
  const std::string long_note(7000, 'n');
  const std::string list = std::string("x\r\nnote\0with zero\n", 19) + "\xff\xfe\n" +
                           long_note + "\n" + "\n" + "x";
  WriteList(list);
  ASSERT_EQ(RewriteList(MarkX, kWriteBackCodes), rc::kWriteDone);
  EXPECT_EQ(List(), "600|x\r\n" + list.substr(3, list.size() - 4) + "600|x");
  EXPECT_TRUE(NoWorkingCopies());

  WriteList("");
  ASSERT_EQ(RewriteList(MarkX, kSelectionCodes), rc::kSelectDone);
  EXPECT_TRUE(fs::exists(ListFile()));
  EXPECT_EQ(List(), "");
}

TEST_F(RewriteListTest, LinesArePiecesOfAtMost6692Bytes) {
  const std::string first(6691, 'a');    // with its line feed, exactly one piece
  const std::string second(6692, 'b');   // one piece, then its line feed alone
  const std::string third(6692 + 5, 'c');
  WriteList(first + "\n" + second + "\n" + third + "\n");
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
  const std::string list = line + "http://h/next.zip\n";
  WriteList(list);
  SelectedEntry entry;
  ASSERT_EQ(SelectNextEntry(&entry), rc::kSelectDone);
  EXPECT_EQ(entry.url, L"http://h/next.zip");
  EXPECT_EQ(List(), line + "899|http://h/next.zip\n");
  ASSERT_EQ(WriteEntryResult(L"http://h/rest.zip", 900), rc::kWriteDone);
  EXPECT_EQ(List(), line + "899|http://h/next.zip\n");

  // An entry whose options run past one piece is chosen and marked at its start.
  const std::string cookie_line = "http://h/c.zip|Cookie=" + std::string(7000, 'k') + "\n";
  WriteList(cookie_line);
  entry = {};
  ASSERT_EQ(SelectNextEntry(&entry), rc::kSelectDone);
  EXPECT_EQ(entry.url, L"http://h/c.zip");
  EXPECT_EQ(entry.cookie.size(), 4096u);
  EXPECT_EQ(List(), "899|" + cookie_line);
}

TEST_F(RewriteListTest, ListInUseOrMissingChangesNothingAnywhere) {
  // No list: every party reports it in use and nothing creates it.
  SelectedEntry entry;
  EXPECT_EQ(SelectNextEntry(&entry), rc::kSelectInUse);
  EXPECT_EQ(WriteEntryResult(L"http://h/f.zip", 900), rc::kWriteInUse);
  EXPECT_EQ(AppendListUrl(L"http://h/f.zip"), rc::kWriteInUse);
  EXPECT_FALSE(fs::exists(ListFile()));
  EXPECT_TRUE(NoWorkingCopies());

  // A leftover lock name blocks the list the same way.
  WriteList("http://h/f.zip\n");
  test::WriteFile(LockFile(), "old\n");
  EXPECT_EQ(SelectNextEntry(&entry), rc::kSelectInUse);
  EXPECT_EQ(WriteEntryResult(L"http://h/f.zip", 900), rc::kWriteInUse);
  EXPECT_EQ(AppendListUrl(L"http://h/g.zip"), rc::kWriteInUse);
  EXPECT_EQ(List(), "http://h/f.zip\n");
  EXPECT_EQ(test::ReadFile(LockFile()), "old\n");
  EXPECT_TRUE(entry.url.empty());
  EXPECT_TRUE(Boxes().empty());  // in use is a detail, never shown

  // A leftover new list is truncated by the next pass and does no harm.
  fs::remove(LockFile());
  test::WriteFile(NewFile(), "stale\n");
  EXPECT_EQ(SelectNextEntry(&entry), rc::kSelectDone);
  EXPECT_EQ(List(), "899|http://h/f.zip\n");
  EXPECT_TRUE(NoWorkingCopies());
}

// The failures before the new list is in place give the unchanged list its name back.
struct EarlyFailure {
  const char* name;
  void (*provoke)(const test::ListTest& t);
  ResultCode selection, write_back;
  const wchar_t* selection_box;
  const wchar_t* write_back_box;
};

void PrintTo(const EarlyFailure& f, std::ostream* os) { *os << f.name; }

class RewriteEarlyFailureTest : public RewriteListTest,
                                public ::testing::WithParamInterface<EarlyFailure> {};

TEST_P(RewriteEarlyFailureTest, ListIsPutBackUnchangedAndTheFailureShown) {
  const EarlyFailure& f = GetParam();
  const std::string list = "note\n600|http://h/f.zip\n";
  for (bool selection : {true, false}) {
    WriteList(list);
    f.provoke(*this);
    SelectedEntry entry;
    const ResultCode code =
        selection ? SelectNextEntry(&entry) : WriteEntryResult(L"http://h/f.zip", 900);
    EXPECT_EQ(code, selection ? f.selection : f.write_back) << f.name;
    EXPECT_TRUE(entry.url.empty());
    EXPECT_FALSE(fs::exists(LockFile())) << f.name;
    if (fs::is_regular_file(ListFile())) {
      EXPECT_EQ(List(), list) << f.name;
    }
    ASSERT_FALSE(Boxes().empty());
    EXPECT_EQ(Boxes().back(), selection ? f.selection_box : f.write_back_box);
    EXPECT_NE(Log().find("errorが発生しました"), std::string::npos);
    fs::remove_all(ListFile());
    fs::remove_all(NewFile());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, RewriteEarlyFailureTest,
    ::testing::Values(
        // The new list cannot be created: a directory stands in its place.
        EarlyFailure{"setup",
                     [](const test::ListTest& t) { fs::create_directory(t.NewFile()); }, 110,
                     150, L"listfileの初期化でerrorが発生しました",
                     L"listfileの初期化でerrorが発生しました"},
        // The list cannot be read: it is a directory.
        EarlyFailure{"open",
                     [](const test::ListTest& t) {
                       fs::remove(t.ListFile());
                       fs::create_directory(t.ListFile());
                     },
                     111, 151, L"listfileのopenでerrorが発生しました",
                     L"listfileの書込openでerrorが発生しました"},
        // The new list cannot be written: the disk is full. A cut copy must not win.
        EarlyFailure{"write",
                     [](const test::ListTest& t) { fs::create_symlink("/dev/full", t.NewFile()); },
                     112, 152, L"listfileの書込でerrorが発生しました",
                     L"listfileの書込でerrorが発生しました"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RewriteListTest, FailedReleaseLeavesBothCopiesUnderTheirWorkingNames) {
  for (const RewriteCodes* codes : {&kSelectionCodes, &kWriteBackCodes}) {
    WriteList("x\n");
    // Someone puts a directory where the new list must go, while the pass runs.
    const ResultCode code = RewriteList(
        [&](const ListLine& l) {
          fs::create_directory(ListFile());
          return MarkX(l);
        },
        *codes);
    EXPECT_EQ(code, codes->release);
    EXPECT_EQ(test::ReadFile(LockFile()), "x\n");
    EXPECT_EQ(test::ReadFile(NewFile()), "600|x\n");
    EXPECT_EQ(Boxes().back(), L"listfileの書込ロック解除でerrorが発生しました");
    // Every party is blocked until the user puts the list right.
    EXPECT_EQ(AppendListUrl(L"http://h/f.zip"), rc::kWriteInUse);
    fs::remove_all(ListFile());
    fs::remove(LockFile());
    fs::remove(NewFile());
  }
}

TEST_F(RewriteListTest, FailedDeleteLeavesTheNewListInPlaceAndBlocksTheList) {
  for (const RewriteCodes* codes : {&kSelectionCodes, &kWriteBackCodes}) {
    WriteList("x\n");
    // The old copy turns into something that cannot be deleted as a file.
    const ResultCode code = RewriteList(
        [&](const ListLine& l) {
          fs::remove(LockFile());
          fs::create_directory(LockFile());
          return MarkX(l);
        },
        *codes);
    EXPECT_EQ(code, codes->remove);
    EXPECT_EQ(List(), "600|x\n");
    EXPECT_TRUE(fs::exists(LockFile()));
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
  EXPECT_TRUE(NoWorkingCopies());
  EXPECT_EQ(Boxes().back(), ProgramPaths.LogPath);
}

}  // namespace
}  // namespace zenpo
