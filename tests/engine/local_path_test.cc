#include "engine/local_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <utility>

#include "support/temp_dir.h"

namespace zenpo {
namespace {

namespace fs = std::filesystem;
using Pieces = std::vector<std::wstring>;

TEST(UrlPiecesTest, DropsTheSchemeAndEmptyPiecesAndKeepsFifty) {
  EXPECT_EQ(UrlPieces(L"http://h/a//b.zip"), (Pieces{L"h", L"a", L"b.zip"}));
  EXPECT_EQ(UrlPieces(L"http://h:81"), (Pieces{L"h:81"}));
  EXPECT_EQ(UrlPieces(L"http://h/"), (Pieces{L"h"}));
  std::wstring url = L"http://h";
  for (int i = 1; i <= 60; ++i) url += L"/p" + std::to_wstring(i);
  const Pieces pieces = UrlPieces(url);
  ASSERT_EQ(pieces.size(), 50u);
  EXPECT_EQ(pieces.back(), L"p49");
}

TEST(LocalPathPieceTest, ReplacesReservedCharactersThenCuts) {
  std::wstring name = L"a,b;c:d*e?f<g>h|i\"j";
  SanitizeFileName(name);
  EXPECT_EQ(name, L"a#b#c#d#e#f#g#h#i#j");
  // The cut comes after the replacement, so a long name keeps 128 characters.
  EXPECT_EQ(LocalPathPiece(std::wstring(200, L'?')), std::wstring(128, L'#'));
  EXPECT_EQ(LocalPathPiece(L"ファイル.zip"), L"ファイル.zip");
  // 128 characters may still be more bytes than a name may take: cut whole characters.
  const std::pair<std::wstring, std::wstring> long_names[] = {
      {std::wstring(130, L'é'), std::wstring(127, L'é')},
      {std::wstring(128, L'😀'), std::wstring(63, L'😀')},
      {L"a" + std::wstring(127, L'é'), L"a" + std::wstring(127, L'é')},
  };
  for (const auto& [piece, name] : long_names) EXPECT_EQ(LocalPathPiece(piece), name);
}

TEST(LocalPathPieceTest, NoPieceStepsOutOfItsParent) {
  EXPECT_EQ(LocalPathPiece(L"."), L"#");
  EXPECT_EQ(LocalPathPiece(L".."), L"##");
  EXPECT_EQ(LocalPathPiece(L". ."), L"# #");
  EXPECT_EQ(LocalPathPiece(L"..\\..\\x"), L"..#..#x");
  EXPECT_EQ(LocalPathPiece(std::wstring(L"a\0b", 3)), L"a#b");
  // Dots inside an ordinary name stay.
  EXPECT_EQ(LocalPathPiece(L"..a"), L"..a");
  EXPECT_EQ(LocalPathPiece(L"f.tar.gz"), L"f.tar.gz");
}

class MakeLocalPathTest : public ::testing::Test {
 protected:
  std::wstring dl() const { return (dir_ / "dl").wstring(); }
  void SetUp() override { fs::create_directory(dir_ / "dl"); }
  test::TempDir dir_;
};

TEST_F(MakeLocalPathTest, OneDirectoryPerPieceOrNoneAtAll) {
  LocalPath path;
  ASSERT_TRUE(MakeLocalPath(dl(), UrlPieces(L"http://h:81/d/get.cgi?id=5"), true, &path));
  EXPECT_EQ(path.wide, dl() + L"/h#81/d/get.cgi#id=5");
  EXPECT_EQ(path.narrow, (dir_ / "dl/h#81/d/get.cgi#id=5").string());
  EXPECT_TRUE(fs::is_directory(dir_ / "dl/h#81/d"));

  ASSERT_TRUE(MakeLocalPath(dl(), UrlPieces(L"http://h/x"), false, &path));
  EXPECT_EQ(path.wide, dl() + L"/x");
  // A URL without a path is saved under its host's name.
  ASSERT_TRUE(MakeLocalPath(dl(), UrlPieces(L"http://host.example"), true, &path));
  EXPECT_EQ(path.wide, dl() + L"/host.example");
}

TEST_F(MakeLocalPathTest, DotPiecesStayInsideTheDownloadDirectory) {
  LocalPath path;
  ASSERT_TRUE(MakeLocalPath(dl(), UrlPieces(L"http://../../../escape"), true, &path));
  EXPECT_EQ(path.wide, dl() + L"/##/##/##/escape");
  ASSERT_TRUE(MakeLocalPath(dl(), UrlPieces(L"http://h/./a/../../b"), true, &path));
  EXPECT_EQ(path.wide, dl() + L"/h/#/a/##/##/b");
  ASSERT_TRUE(MakeLocalPath(dl(), UrlPieces(L"http://h/.."), false, &path));
  EXPECT_EQ(path.wide, dl() + L"/##");
  // Nothing was made beside dl.
  for (const auto& entry : fs::directory_iterator(dir_.path())) {
    EXPECT_EQ(entry.path().filename(), "dl");
  }
}

TEST_F(MakeLocalPathTest, APathThatDoesNotFitIsRefusedNotCut) {
  // The system's path limit counts, not the handheld's: 1,200 characters fit.
  std::wstring url;
  for (int i = 0; i < 10; ++i) url += L"/" + std::wstring(120, L'a' + i);
  LocalPath path;
  EXPECT_TRUE(MakeLocalPath(dl(), UrlPieces(L"http://g" + url), true, &path));
  url = L"http://h" + url;
  for (int i = 10; i < 40; ++i) url += L"/" + std::wstring(120, L'a' + i % 26);
  EXPECT_FALSE(MakeLocalPath(dl(), UrlPieces(url), true, &path));
  EXPECT_FALSE(fs::exists(dir_ / "dl/h"));
  EXPECT_FALSE(MakeLocalPath(dl(), {}, true, &path));
}

}  // namespace
}  // namespace zenpo
