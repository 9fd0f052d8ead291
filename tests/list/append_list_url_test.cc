// Appending a URL: the new line, the line feed it may need, and its failures.
#include "list/append_list_url.h"

#include <filesystem>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "list/list_test_home.h"
#include "list/select_next_entry.h"

namespace zenpo {
namespace {

namespace fs = std::filesystem;

class AppendListUrlTest : public test::ListTest {};

TEST_F(AppendListUrlTest, AppendsALineOfItsOwnEveryTime) {
  WriteList("");
  ASSERT_EQ(AppendListUrl(L"http://h/f.zip"), rc::kWriteDone);
  ASSERT_EQ(AppendListUrl(L"http://h/f.zip"), rc::kWriteDone);  // no duplicate check
  EXPECT_EQ(List(), "http://h/f.zip\nhttp://h/f.zip\n");

  // The user's last line lacks its line feed: the URL must not join it.
  WriteList("900|http://h/old.zip");
  ASSERT_EQ(AppendListUrl(L"http://h/ダウン.zip"), rc::kWriteDone);
  EXPECT_EQ(List(), "900|http://h/old.zip\nhttp://h/ダウン.zip\n");

  // A list of CR LF lines stays one.
  WriteList("900|http://h/old.zip\r\n");
  ASSERT_EQ(AppendListUrl(L"http://h/n.zip"), rc::kWriteDone);
  EXPECT_EQ(List(), "900|http://h/old.zip\r\nhttp://h/n.zip\r\n");
  EXPECT_TRUE(NoWorkingCopies());

  SelectedEntry e;
  ASSERT_EQ(SelectNextEntry(&e), rc::kSelectDone);
  EXPECT_EQ(e.url, L"http://h/n.zip");
}

TEST_F(AppendListUrlTest, TheLineTakesTheLineEndsOfTheLastCompleteLine) {
  const std::pair<std::string, std::string> cases[] = {
      {"a\r\nb", "a\r\nb\r\nhttp://h/n.zip\r\n"},
      {"a\nb\r\n" + std::string(9000, 'c'), "a\nb\r\n" + std::string(9000, 'c') + "\r\nhttp://h/n.zip\r\n"},
      {"\xEF\xBB\xBF", "\xEF\xBB\xBFhttp://h/n.zip\n"},  // only a byte-order mark: empty
  };
  for (const auto& [before, after] : cases) {
    WriteList(before);
    ASSERT_EQ(AppendListUrl(L"http://h/n.zip"), rc::kWriteDone);
    EXPECT_EQ(List(), after);
  }
}

TEST_F(AppendListUrlTest, LongUrlIsAppendedWhole) {
  // 1024 characters of which many take three bytes: far beyond 255 bytes.
  std::wstring url = L"http://h/";
  while (url.size() < 1024) url += L'長';
  WriteList("note\n");
  ASSERT_EQ(AppendListUrl(url), rc::kWriteDone);
  SelectedEntry e;
  ASSERT_EQ(SelectNextEntry(&e), rc::kSelectDone);
  EXPECT_EQ(e.url, url);
}

TEST_F(AppendListUrlTest, FailuresPutTheListBackAsItWas) {
  // The list is a directory: it cannot be opened for appending.
  fs::create_directory(ListFile());
  EXPECT_EQ(AppendListUrl(L"http://h/f.zip"), rc::kWriteOpenFailed);
  EXPECT_TRUE(fs::is_directory(ListFile()));
  EXPECT_FALSE(fs::exists(LockFile()));
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0], L"listfileの追記openでerrorが発生しました");
  fs::remove(ListFile());

  // The disk is full: the append is a failure, never a success.
  fs::create_symlink("/dev/full", ListFile());
  EXPECT_EQ(AppendListUrl(L"http://h/f.zip"), rc::kWriteOpenFailed);
  EXPECT_TRUE(fs::is_symlink(ListFile()));
  EXPECT_FALSE(fs::exists(LockFile()));
  EXPECT_NE(Log().find("listfileの追記openでerrorが発生しました"), std::string::npos);
}

}  // namespace
}  // namespace zenpo
