// The line grammar: URL test, fields, status value and options.
#include "list/list_entry.h"

#include <gtest/gtest.h>

namespace zenpo {
namespace {

TEST(IsDownloadUrlTest, NeedsTenCharactersNoFinalSlashAndLowerCaseHttp) {
  EXPECT_TRUE(IsDownloadUrl(L"http://a/b"));  // exactly ten
  EXPECT_FALSE(IsDownloadUrl(L"http://ab"));
  EXPECT_FALSE(IsDownloadUrl(L"http://host/dir/"));
  EXPECT_TRUE(IsDownloadUrl(L"http://host/dir"));
  EXPECT_FALSE(IsDownloadUrl(L"HTTP://host/file.zip"));
  EXPECT_FALSE(IsDownloadUrl(L"Http://host/file.zip"));
  EXPECT_FALSE(IsDownloadUrl(L"https://host/file.zip"));
  EXPECT_FALSE(IsDownloadUrl(L"ftp://host/file.zip"));
  EXPECT_FALSE(IsDownloadUrl(L" http://host/file.zip"));
  EXPECT_FALSE(IsDownloadUrl(L""));
}

TEST(ListFieldsTest, LeadingAndDoubledBarsNeverMakeEmptyFields) {
  ListFields f = SplitListFields(L"||900|||http://h/f.zip|");
  ASSERT_EQ(f.count, 2u);
  EXPECT_EQ(f.field[0], L"900");
  EXPECT_EQ(f.field[1], L"http://h/f.zip");
  EXPECT_EQ(SplitListFields(L"|||").count, 0u);
  EXPECT_EQ(SplitListFields(L"").count, 0u);
  // Only six fields are taken; the rest stays unread.
  f = SplitListFields(L"a|b|c|d|e|f|Agent=x");
  EXPECT_EQ(f.count, 6u);
  EXPECT_EQ(f.field[5], L"f");
}

TEST(ListEntryTest, FormsFollowTheFirstTwoFields) {
  ListEntry e = ParseListEntry(L"|http://h/f.zip");
  EXPECT_EQ(e.form, EntryForm::kUrl);
  EXPECT_EQ(e.url, L"http://h/f.zip");
  EXPECT_EQ(e.status, 0);

  // A URL in the first field decides, whatever the second holds.
  e = ParseListEntry(L"http://h/a.zip|http://h/b.zip");
  EXPECT_EQ(e.form, EntryForm::kUrl);
  EXPECT_EQ(e.url, L"http://h/a.zip");
  EXPECT_EQ(e.first_option, 1u);

  e = ParseListEntry(L"600||http://h/f.zip|Agent=x");
  EXPECT_EQ(e.form, EntryForm::kStatus);
  EXPECT_EQ(e.url, L"http://h/f.zip");
  EXPECT_EQ(e.status, 600);
  EXPECT_EQ(e.first_option, 2u);

  EXPECT_EQ(ParseListEntry(L"a note|more|http://h/f.zip").form, EntryForm::kNone);
  EXPECT_EQ(ParseListEntry(L"900|https://h/f.zip").form, EntryForm::kNone);
  EXPECT_EQ(ParseListEntry(L"").form, EntryForm::kNone);
}

TEST(ReadStatusValueTest, ReadsLikeADecimalLong) {
  EXPECT_EQ(ReadStatusValue(L"899"), 899);
  EXPECT_EQ(ReadStatusValue(L"  5"), 5);
  EXPECT_EQ(ReadStatusValue(L"\t+7x"), 7);
  EXPECT_EQ(ReadStatusValue(L"-1"), -1);
  EXPECT_EQ(ReadStatusValue(L"12abc"), 12);
  EXPECT_EQ(ReadStatusValue(L"abc"), 0);
  EXPECT_EQ(ReadStatusValue(L"- 5"), 0);
  EXPECT_EQ(ReadStatusValue(L"99999999999999999999"), 2147483647);
  EXPECT_EQ(ReadStatusValue(L"-99999999999999999999"), -2147483647 - 1);
}

TEST(MatchOptionTest, FirstKeyInOrderDecidesAndValueIsTheSecondPiece) {
  ListOption o = MatchOption(L"Referer=http://r/p|");
  EXPECT_EQ(o.key, OptionKey::kReferer);
  // A field with both keys is the user agent, and its value ends at the next "=".
  o = MatchOption(L"Referer=http://r/Agent=x");
  EXPECT_EQ(o.key, OptionKey::kAgent);
  EXPECT_EQ(o.value, L"http://r/Agent");
  // "Authid=" is not found inside "AuthidE=".
  o = MatchOption(L"AuthidE=dXNlcjpwYQ==");
  EXPECT_EQ(o.key, OptionKey::kAuthidE);
  EXPECT_EQ(o.value, L"dXNlcjpwYQ");
  o = MatchOption(L"Authid=user:pw");
  EXPECT_EQ(o.key, OptionKey::kAuthid);
  EXPECT_EQ(o.value, L"user:pw");
  // Leading equals signs are lost, a query string is cut, the key may stand anywhere.
  EXPECT_EQ(MatchOption(L"Agent===Mozilla").value, L"Mozilla");
  EXPECT_EQ(MatchOption(L"Cookie=id=42").value, L"id");
  EXPECT_EQ(MatchOption(L"myAgent=Lynx").key, OptionKey::kAgent);
  // A key without a value, and a field without a key, give nothing.
  EXPECT_EQ(MatchOption(L"Cookie=").key, OptionKey::kNone);
  EXPECT_EQ(MatchOption(L"Cookie===").key, OptionKey::kNone);
  EXPECT_EQ(MatchOption(L"agent=x").key, OptionKey::kNone);
}

}  // namespace
}  // namespace zenpo
