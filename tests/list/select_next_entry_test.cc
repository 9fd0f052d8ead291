// Selection: which line is chosen, how it is marked and what its options deliver.
#include "list/select_next_entry.h"

#include <string>

#include <gtest/gtest.h>

#include "list/list_test_home.h"

namespace zenpo {
namespace {

class SelectNextEntryTest : public test::ListTest {
 protected:
  // One selection on an emptied record; fails the test on any code but 120.
  SelectedEntry Select() {
    SelectedEntry e;
    EXPECT_EQ(SelectNextEntry(&e), rc::kSelectDone);
    return e;
  }
};

TEST_F(SelectNextEntryTest, ChoosesTheFirstEligibleLineOnceAndMarksIt) {
  const std::string list =
      "a note without bars\n"
      "900|http://h/done.zip\n"
      "899|http://h/busy.zip\n"
      "http://h/new.zip|Referer=http://h/page\n"
      "http://h/later.zip\n";
  WriteList(list);
  SelectedEntry e = Select();
  EXPECT_EQ(e.url, L"http://h/new.zip");
  EXPECT_EQ(e.referer, L"http://h/page");
  EXPECT_TRUE(e.agent.empty() && e.authorization.empty() && e.cookie.empty());
  EXPECT_EQ(List(),
            "a note without bars\n900|http://h/done.zip\n899|http://h/busy.zip\n"
            "899|http://h/new.zip|Referer=http://h/page\nhttp://h/later.zip\n");
  EXPECT_EQ(Select().url, L"http://h/later.zip");

  // Nothing eligible: same bytes, empty URL, nothing reported.
  const std::string before = List();
  EXPECT_TRUE(Select().url.empty());
  EXPECT_EQ(List(), before);
  EXPECT_TRUE(NoWorkingCopies());
  const std::string log = Log();
  EXPECT_NE(log.find("ListFileURL->http://h/new.zip\n"), std::string::npos);
  EXPECT_NE(log.find("ListFileURL->http://h/later.zip\n"), std::string::npos);
  EXPECT_EQ(log.find("ListFileURL->", log.find("later")), std::string::npos);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(SelectNextEntryTest, StatusBoundariesDecideEligibility) {
  WriteList(
      "130|http://h/130.zip\n"
      "199|http://h/199.zip\n"
      "899|http://h/899.zip\n"
      "900|http://h/900.zip\n"
      " -1|http://h/neg.zip\n"
      "4294967296|http://h/wide.zip\n"
      "129|http://h/129.zip\n"
      "200|http://h/200.zip\n"
      "898|http://h/898.zip\n"
      "  1|http://h/1.zip\n"
      "|900|http://h/bar900.zip\n"
      "| 12 |http://h/bar12.zip\n");
  EXPECT_EQ(Select().url, L"http://h/129.zip");
  EXPECT_EQ(Select().url, L"http://h/200.zip");
  EXPECT_EQ(Select().url, L"http://h/898.zip");
  EXPECT_EQ(Select().url, L"http://h/1.zip");
  EXPECT_EQ(Select().url, L"http://h/bar12.zip");
  EXPECT_TRUE(Select().url.empty());
  EXPECT_EQ(List(),
            "130|http://h/130.zip\n199|http://h/199.zip\n899|http://h/899.zip\n"
            "900|http://h/900.zip\n -1|http://h/neg.zip\n4294967296|http://h/wide.zip\n"
            "899|http://h/129.zip\n899|http://h/200.zip\n899|http://h/898.zip\n"
            "899|http://h/1.zip\n|900|http://h/bar900.zip\n899|http://h/bar12.zip\n");
}

TEST_F(SelectNextEntryTest, StatusReplacementTakesTheWholeOldStatusAndNothingElse) {
  WriteList(
      "0|http://h/zero.zip\n"
      "later|http://h/word.zip\n"
      "5|http://h/narrow.zip\n"
      "|| 12|http://h/barred.zip\n"
      "600|http://h/6.zip|600\n"
      "|http://h/bar.zip\n"
      "7日|http://h/wide.zip\n"
      "8\xff|http://h/invalid.zip\n");
  for (int i = 0; i < 8; ++i) EXPECT_FALSE(Select().url.empty());
  // Status 0 (a zero or a word) counts as none: the line keeps it and gains a field.
  EXPECT_EQ(List(),
            "899|0|http://h/zero.zip\n"
            "899|later|http://h/word.zip\n"
            "899|http://h/narrow.zip\n"
            "899|http://h/barred.zip\n"
            "899|http://h/6.zip|600\n"
            "899||http://h/bar.zip\n"
            "899|http://h/wide.zip\n"
            "899|http://h/invalid.zip\n");
}

TEST_F(SelectNextEntryTest, OptionsFollowTheirKeysUpToTheSixthField) {
  WriteList(
      "http://h/f.zip|Agent=A1|Referer=http://r/|Cookie=c=1|Authid=user:pass"
      "|Agent=A2|Referer=late\n"
      "200|http://h/g.zip|Agent=x Referer=y|AuthidE=dXNlcjpwYQ==|Authid=|Cookie=\n"
      "http://h/h.zip|AuthidE=abc|Authid=user:pass\n"
      "http://h/i.zip|http://h/j.zip|12|Authid=ユーザ:パス|myAgent===Lynx|agent=no\n");
  SelectedEntry e = Select();
  EXPECT_EQ(e.url, L"http://h/f.zip");
  EXPECT_EQ(e.agent, L"A2");             // a later field replaces an earlier one
  EXPECT_EQ(e.referer, L"http://r/");    // the seventh field is never read
  EXPECT_EQ(e.cookie, L"c");
  EXPECT_EQ(e.authorization, L"dXNlcjpwYXNz");

  e = Select();
  EXPECT_EQ(e.url, L"http://h/g.zip");
  EXPECT_EQ(e.agent, L"x Referer");      // both keys in one field: the agent only
  EXPECT_TRUE(e.referer.empty());
  EXPECT_EQ(e.authorization, L"dXNlcjpwYQ");  // trailing "=" are lost
  EXPECT_TRUE(e.cookie.empty());

  EXPECT_EQ(Select().authorization, L"dXNlcjpwYXNz");  // of the two, the later wins

  e = Select();
  EXPECT_EQ(e.url, L"http://h/i.zip");  // a second URL and a number are ignored fields
  EXPECT_EQ(e.agent, L"Lynx");          // a key anywhere in its field, case-sensitive
  // Plain credentials are encoded from their bytes in the code page, padding and all.
  EXPECT_EQ(e.authorization, L"44Om44O844K2OuODkeOCuQ==");
}

TEST_F(SelectNextEntryTest, OverLongValuesNeverOverflowAndUrlsAreNeverShortened) {
  const std::string too_long_url = "http://h/" + std::string(1016, 'u');  // 1025 characters
  const std::string fitting_url = "http://h/" + std::string(1015, 'u');   // 1024
  const std::string list = too_long_url + "\n" + fitting_url + "|Agent=" +
                           std::string(600, 'a') + "|Authid=" + std::string(300, 'p') +
                           "|Cookie=" + std::string(5000, 'c') + "\n";
  WriteList(list);
  SelectedEntry e = Select();
  EXPECT_EQ(e.url.size(), 1024u);
  EXPECT_EQ(e.agent, std::wstring(512, L'a'));
  EXPECT_EQ(e.cookie.size(), 4096u);
  EXPECT_EQ(e.authorization.size(), 340u);  // 255 bytes encoded
  EXPECT_EQ(List(), too_long_url + "\n899|" + list.substr(too_long_url.size() + 1));
  // The refused line stays as it is and is logged once, not at every pass.
  EXPECT_TRUE(Select().url.empty());
  EXPECT_TRUE(Select().url.empty());
  const std::string log = Log();
  const std::size_t refused = log.find("ListFileのURLが長すぎるため選択しません->http://h/uuu");
  ASSERT_NE(refused, std::string::npos);
  EXPECT_EQ(log.find("ListFileのURLが長すぎるため選択しません", refused + 1), std::string::npos);
  EXPECT_NE(log.find("切り詰めました->Agent= Authid= Cookie="), std::string::npos);
}

}  // namespace
}  // namespace zenpo
