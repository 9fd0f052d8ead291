// Write-back: every line of the URL gets the code, or leaves the list with dellist.
#include "list/write_entry_result.h"

#include <string>

#include <gtest/gtest.h>

#include "list/list_test_home.h"
#include "list/select_next_entry.h"

namespace zenpo {
namespace {

class WriteEntryResultTest : public test::ListTest {};

constexpr const char kList[] =
    "note http://h/f.zip\n"
    "899|http://h/f.zip|Referer=http://r/\r\n"
    "600|http://h/f.zip\n"
    "http://h/f.zip\n"
    "http://h/f.zip|Referer=x\n"
    "899|0|http://h/f.zip\n"
    "7|http://h/f.zip\n"
    "899|http://h/f.zip.bak\n"
    "899|HTTP://h/f.zip\n";

TEST_F(WriteEntryResultTest, EveryLineOfTheUrlGetsTheCode) {
  WriteList(kList);
  ASSERT_EQ(WriteEntryResult(L"http://h/f.zip", 600), rc::kWriteDone);
  // Lines whose second field is an option, or whose URL stands third, keep their state.
  EXPECT_EQ(List(),
            "note http://h/f.zip\n"
            "600|http://h/f.zip|Referer=http://r/\r\n"
            "600|http://h/f.zip\n"
            "600|http://h/f.zip\n"
            "http://h/f.zip|Referer=x\n"
            "899|0|http://h/f.zip\n"
            "600|http://h/f.zip\n"
            "899|http://h/f.zip.bak\n"
            "899|HTTP://h/f.zip\n");
  EXPECT_TRUE(NoWorkingCopies());
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(WriteEntryResultTest, DellistRemovesCompleteEntriesOnly) {
  home_.LoadSettingsText("dellist=1\n");
  WriteList(kList);
  ASSERT_EQ(WriteEntryResult(L"http://h/f.zip", 599), rc::kWriteDone);
  ASSERT_EQ(WriteEntryResult(L"http://h/f.zip", 903), rc::kWriteDone);
  EXPECT_EQ(List(),
            "note http://h/f.zip\n"
            "http://h/f.zip|Referer=x\n"
            "899|0|http://h/f.zip\n"
            "899|http://h/f.zip.bak\n"
            "899|HTTP://h/f.zip\n");

  // An entry line longer than one piece leaves whole.
  WriteList("899|http://h/f.zip|Cookie=" + std::string(7000, 'k') + "\nnext\n");
  ASSERT_EQ(WriteEntryResult(L"http://h/f.zip", 900), rc::kWriteDone);
  EXPECT_EQ(List(), "next\n");
}

TEST_F(WriteEntryResultTest, SelectionAndWriteBackMeetOnTheSameLine) {
  WriteList("\n|note|\nhttp://h/a.zip|Agent=x\r\n 42|http://h/b.zip\n");
  SelectedEntry e;
  ASSERT_EQ(SelectNextEntry(&e), rc::kSelectDone);
  ASSERT_EQ(WriteEntryResult(e.url, 133), rc::kWriteDone);
  e = {};
  ASSERT_EQ(SelectNextEntry(&e), rc::kSelectDone);
  ASSERT_EQ(WriteEntryResult(e.url, 901), rc::kWriteDone);
  EXPECT_EQ(List(), "\n|note|\n133|http://h/a.zip|Agent=x\r\n901|http://h/b.zip\n");
  // An empty URL matches no line, not even an empty one.
  ASSERT_EQ(WriteEntryResult(L"", 900), rc::kWriteDone);
  EXPECT_EQ(List(), "\n|note|\n133|http://h/a.zip|Agent=x\r\n901|http://h/b.zip\n");
}

}  // namespace
}  // namespace zenpo
