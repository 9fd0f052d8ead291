// Names Windows would read as a device or change still make files of their own.
#include "engine/local_path.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "platform/files.h"
#include "support/temp_dir.h"

namespace zenpo {
namespace {

TEST(FileNamesWin32Test, DeviceNamesAndTrailingDotsOrSpacesBecomeOrdinaryFiles) {
  const std::pair<std::wstring, std::wstring> pieces[] = {
      {L"nul", L"#nul"}, {L"AUX.txt", L"#AUX.txt"}, {L"Com1.tar.gz", L"#Com1.tar.gz"}, {L"lpt9", L"#lpt9"},
      {L"con .txt", L"#con .txt"}, {L"CONOUT$", L"#CONOUT$"}, {L"file.", L"file#"}, {L"name. .", L"name###"},
      {std::wstring(127, L'a') + L".zip", std::wstring(127, L'a') + L"#"},  // the cut leaves a dot
      {L"nullish.txt", L"nullish.txt"}, {L"com10", L"com10"}, {L"x.nul", L"x.nul"}, {L"..", L"##"}};
  test::TempDir dir;
  std::set<std::wstring> made, listed;
  for (const auto& [piece, name] : pieces) {
    EXPECT_EQ(*made.insert(LocalPathPiece(piece)).first, name);
    std::FILE* f = platform::OpenFile(dir.wpath() + L"\\" + name, "wb");
    ASSERT_NE(f, nullptr) << name;
    std::fclose(f);
  }
  // Each is a file of that very name: none went to a device or lost its end.
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) listed.insert(entry.path().filename().wstring());
  EXPECT_EQ(listed, made);
}

}  // namespace
}  // namespace zenpo
