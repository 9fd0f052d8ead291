// The URL test, which the clipboard watcher shares with the list.
#include "list/list_entry.h"

#include <gtest/gtest.h>

namespace zenpo {
namespace {

TEST(IsDownloadUrlTest, NeedsTenCharactersNoFinalSlashAndLowerCaseHttp) {
  EXPECT_TRUE(IsDownloadUrl(L"http://a/b"));  // exactly ten
  EXPECT_FALSE(IsDownloadUrl(L"http://ab"));
  EXPECT_FALSE(IsDownloadUrl(L"http://host/dir/"));
  EXPECT_FALSE(IsDownloadUrl(L"HTTP://host/file.zip"));
  EXPECT_FALSE(IsDownloadUrl(L"https://host/file.zip"));
  EXPECT_FALSE(IsDownloadUrl(L" http://host/file.zip"));
}

}  // namespace
}  // namespace zenpo
