#include "config/program_paths.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "config/settings.h"
#include "platform/files.h"
#include "platform/process.h"
#include "support/temp_dir.h"

namespace zenpo {
namespace {

TEST(ProgramPathsTest, EveryFileLiesInTheProgramDirectory) {
  BuildProgramPaths(L"/opt/zenpo");
  EXPECT_EQ(ProgramPaths.SettingsPath, L"/opt/zenpo/ZENPO.ini");
  EXPECT_EQ(ProgramPaths.settingsPathMb, "/opt/zenpo/ZENPO.ini");
  EXPECT_EQ(ProgramPaths.ListPath, L"/opt/zenpo/ZENPO.txt");
  EXPECT_EQ(ProgramPaths.listLockPathMb, "/opt/zenpo/!ZENPO.txt");
  EXPECT_EQ(ProgramPaths.listNewPathMb, "/opt/zenpo/!!ZENPO.txt");
  EXPECT_EQ(ProgramPaths.StartHookPath, L"/opt/zenpo/ZENPO_start.lnk");
  EXPECT_EQ(ProgramPaths.EndHookPath, L"/opt/zenpo/ZENPO_end.lnk");
  EXPECT_EQ(ProgramPaths.StartDownloadHookPath, L"/opt/zenpo/ZENPO_start_d.lnk");
  EXPECT_EQ(ProgramPaths.EndDownloadHookPath, L"/opt/zenpo/ZENPO_end_d.lnk");
  EXPECT_EQ(ProgramPaths.LogPath, L"/opt/zenpo/ZENPO.log");

  // A program in the root directory.
  BuildProgramPaths(L"");
  EXPECT_EQ(ProgramPaths.SettingsPath, L"/ZENPO.ini");
  EXPECT_EQ(ProgramPaths.LogPath, L"/ZENPO.log");

  // Characters beyond ASCII stay in the wide paths and reach the narrow twins intact.
  BuildProgramPaths(L"/home/ユーザ");
  EXPECT_EQ(ProgramPaths.ListLockPath, L"/home/ユーザ/!ZENPO.txt");
  EXPECT_EQ(ProgramPaths.listLockPathMb, "/home/\xe3\x83\xa6\xe3\x83\xbc\xe3\x82\xb6/!ZENPO.txt");
  ProgramPaths = ProgramPathsRecord();
}

TEST(ProgramPathsTest, ZenpoHomeNamesTheProgramDirectory) {
  test::TempDir dir;
  const char* old = getenv("ZENPO_HOME");
  const std::string saved = old ? old : "";
  setenv("ZENPO_HOME", (dir.path().string() + "//").c_str(), 1);
  EXPECT_EQ(platform::ProgramDirectory(), dir.wpath()) << "no trailing separator";
  unsetenv("ZENPO_HOME");
  const std::wstring exe = platform::OwnFileName();
  EXPECT_EQ(platform::ProgramDirectory(), exe.substr(0, exe.rfind(L'/')));
  if (old) setenv("ZENPO_HOME", saved.c_str(), 1);
}

TEST(ProgramPathsTest, NamesFromTheSystemKeepTheirBytes) {
  // A folder name that is no UTF-8 (a Latin-1 e acute) under a UTF-8 locale.
  test::TempDir dir;
  const std::string home = dir.path().string() + "/caf\xe9";
  std::filesystem::create_directory(home);
  const char* old = getenv("ZENPO_HOME");
  const std::string saved = old ? old : "";
  setenv("ZENPO_HOME", home.c_str(), 1);
  BuildProgramPaths();
  if (old) setenv("ZENPO_HOME", saved.c_str(), 1); else unsetenv("ZENPO_HOME");
  EXPECT_EQ(ProgramPaths.settingsPathMb, home + "/ZENPO.ini");
  EXPECT_EQ(ProgramPaths.listLockPathMb, home + "/!ZENPO.txt");
  EXPECT_EQ(platform::NarrowPath(ProgramPaths.ListPath), home + "/ZENPO.txt");
  EXPECT_EQ(platform::NarrowPath(ProgramPaths.EndHookPath), home + "/ZENPO_end.lnk");
  // So does a DLPath written in such bytes.
  test::WriteFile(home + "/ZENPO.ini", "DLPath=dl\xe9\n");
  LoadSettings();
  EXPECT_EQ(ProgramPaths.logPathMb, home + "/dl\xe9/ZENPO.log");
  EXPECT_EQ(platform::NarrowPath(ProgramPaths.DownloadDir), home + "/dl\xe9");
  ResetSettings();
  ProgramPaths = ProgramPathsRecord();
}

}  // namespace
}  // namespace zenpo
