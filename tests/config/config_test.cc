#include <gtest/gtest.h>

#include <stdlib.h>

#include "platform/files.h"
#include "support/program_home.h"

namespace zenpo {
namespace {

class SettingsTest : public ::testing::Test {
 protected:
  const AppSettingsRecord& Load(const std::string& ini) {
    home_.LoadSettingsText(ini);
    return AppSettings;
  }
  test::ProgramHome home_;
};

TEST_F(SettingsTest, NumbersAreFoundAnywhereInTheLineClampedAndSaturated) {
  using S = AppSettingsRecord;
  const struct {
    std::string ini;
    std::int32_t S::*field;
    std::int32_t value;
  } cases[] = {
      {"DLBuff=10\n", &S::DLBuff, 50}, {"DLBuff=-1\n", &S::DLBuff, 20480},
      {"loglevel==5=6\n", &S::loglevel, 5}, {"loglevel=  7x\n", &S::loglevel, 7},
      {"loglevel=4\nloglevel=\n", &S::loglevel, 4}, {"DLTimeout=-99999999999\n", &S::DLTimeout, INT32_MIN},
      {" //loglevel=3\n", &S::loglevel, 3}, {"//loglevel=3\n", &S::loglevel, 1},  // a comment starts the line
      {"HIDE=1 loglevel=3\n", &S::HIDE, 0},  // the first key in order decides
      {"title=Idle\r\nloglevel=2\r\n", &S::loglevel, 2},
      // Lines are read in pieces of 521 bytes; a key split between two is in neither.
      {std::string(521, 'x') + "msglevel=4\n", &S::msglevel, 4},
      {std::string(517, 'x') + "msglevel=4\n", &S::msglevel, 1},
      // Secure URLs are entries only by a line of their own; a value naming them never counts.
      {"https=1\n", &S::https, 1}, {"title=1 https=1\n", &S::https, 0},
      {"\xEF\xBB\xBF//loglevel=0\n", &S::loglevel, 1}, {"\xEF\xBB\xBFmulti=0\n", &S::multi, 0},  // a byte-order mark; 0 is a value
  };
  for (const auto& c : cases) EXPECT_EQ(Load(c.ini).*c.field, c.value) << c.ini.substr(0, 30);
  EXPECT_TRUE(Load("CheckClip=1\nCheckClip=0\n").checkClip) << "armed only by 1, never disarmed";
  EXPECT_FALSE(Load("CheckClip=2\n").checkClip);
}

TEST_F(SettingsTest, TextsStopAtEqualsSignsAndAreCutToTheirField) {
  EXPECT_EQ(Load("checkURL=http://h/a?x=1\n").checkURL, L"http://h/a?x");
  EXPECT_EQ(Load("title=a b\t\r\n").title, L"a b\t") << "blanks belong to the value, CR does not";
  const AppSettingsRecord& s = Load("DLPath=" + std::string(514, 'd') + "loglevel=5\n");
  EXPECT_EQ(s.DLPath + std::to_wstring(s.loglevel), std::wstring(514, L'd') + L"5");
  const std::filesystem::path dl = home_.path() / "dl";  // C:\...\dl on Windows
  Load("DLPath=" + dl.string() + "\n");
  EXPECT_EQ(ProgramPaths.DownloadDir, dl.wstring()) << "an absolute DLPath in the system's form is kept";
}

TEST_F(SettingsTest, HostProfilesTakeFourFieldsInAnyOrder) {
  Load("Referer=http://r/|host=example.org|Agent=Bot|Authid=u:p|Authid=late\n||host=h||Agent=a|\nhost=\n");
  ASSERT_EQ(hostProfiles.size(), 3u) << "an empty profile still counts";
  const HostProfile& p = hostProfiles[0];
  EXPECT_EQ(p.host + L" " + p.Referer + L" " + p.Agent + L" " + p.Authid, L"example.org http://r/ Bot u:p");
  EXPECT_EQ(hostProfiles[1].host + L" " + hostProfiles[1].Agent, L"h a");
  EXPECT_EQ(AppSettings.Referer + AppSettings.Agent, L"Mozilla/4.0") << "a profile never sets the global key";
}

TEST_F(SettingsTest, NamesFromTheSystemKeepTheirBytesAndJapaneseOnesStayWhole) {
  // 101 Japanese characters (303 bytes) are within the system's limits and kept whole.
  std::string japanese = "/";
  for (int i = 0; i < 101; ++i) japanese += "\xe6\x97\xa5";
  Load("DLPath=" + japanese + "\n");
  EXPECT_EQ(platform::NarrowPath(ProgramPaths.LogPath), japanese + "/ZENPO.log");
  // A folder name, then a DLPath, that is no UTF-8 (a Latin-1 e acute) under a UTF-8 locale.
  const std::string home = home_.path().string() + "/caf\xe9";
  std::filesystem::create_directory(home);
  const char* old = getenv("ZENPO_HOME");
  const std::string saved = old ? old : "";
  setenv("ZENPO_HOME", home.c_str(), 1);
  BuildProgramPaths();
  if (old) setenv("ZENPO_HOME", saved.c_str(), 1); else unsetenv("ZENPO_HOME");
  EXPECT_EQ(platform::NarrowPath(ProgramPaths.SettingsPath) + platform::NarrowPath(ProgramPaths.ListLockPath), home + "/ZENPO.ini" + home + "/!ZENPO.txt");
  test::WriteFile(home + "/ZENPO.ini", "DLPath=dl\xe9\n");
  LoadSettings();
  EXPECT_EQ(platform::NarrowPath(ProgramPaths.LogPath), home + "/dl\xe9/ZENPO.log");
}

}  // namespace
}  // namespace zenpo
