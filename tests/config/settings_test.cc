#include "config/settings.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "config/program_paths.h"
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

TEST_F(SettingsTest, MissingFileKeepsEveryDefault) {
  LoadSettings();
  const AppSettingsRecord defaults;
  EXPECT_EQ(AppSettings.DLBuff, 10240);
  EXPECT_EQ(AppSettings.DLTimeout, 20000);
  EXPECT_EQ(AppSettings.CNTimeout, 40000);
  EXPECT_EQ(AppSettings.mkdir, 1);
  EXPECT_EQ(AppSettings.multi, 1);
  EXPECT_EQ(AppSettings.Agent, L"Mozilla/4.0");
  EXPECT_EQ(AppSettings.checkURL, defaults.checkURL);
  EXPECT_FALSE(AppSettings.checkClip);
  EXPECT_TRUE(hostProfiles.empty());
  EXPECT_EQ(ProgramPaths.LogPath, home_.dir().wpath() + L"/ZENPO.log");
}

TEST_F(SettingsTest, ReadBufferAndInstanceCountAreClampedAsUnsigned) {
  EXPECT_EQ(Load("DLBuff=10\n").DLBuff, 50);
  EXPECT_EQ(Load("DLBuff=99999\n").DLBuff, 20480);
  EXPECT_EQ(Load("DLBuff=-1\n").DLBuff, 20480);
  EXPECT_EQ(Load("DLBuff=4096\n").DLBuff, 4096);
  EXPECT_EQ(Load("multi=9\n").multi, 4);
  EXPECT_EQ(Load("multi=-1\n").multi, 4);
  EXPECT_EQ(Load("multi=0\n").multi, 0);
  EXPECT_EQ(Load("multi=3\n").multi, 3);
}

TEST_F(SettingsTest, NumbersReadAsDecimalPrefixAndSaturate) {
  EXPECT_EQ(Load("loglevel==5\n").loglevel, 5);
  EXPECT_EQ(Load("loglevel=5=6\n").loglevel, 5);
  EXPECT_EQ(Load("loglevel=abc\n").loglevel, 0);
  EXPECT_EQ(Load("loglevel=  7x\n").loglevel, 7);
  EXPECT_EQ(Load("loglevel=4\nloglevel=\n").loglevel, 4) << "an empty value changes nothing";
  EXPECT_EQ(Load("DLTimeout=99999999999\n").DLTimeout, INT32_MAX);
  EXPECT_EQ(Load("DLTimeout=-99999999999\n").DLTimeout, INT32_MIN);
}

TEST_F(SettingsTest, KeysAreFoundAnywhereButCommentsStartTheLine) {
  EXPECT_EQ(Load("set the level loglevel=3\n").loglevel, 3);
  EXPECT_EQ(Load("//loglevel=3\n").loglevel, 1);
  EXPECT_EQ(Load(" //loglevel=3\n").loglevel, 3);
  EXPECT_EQ(Load("x\n\n").loglevel, 1);
  // The first key of the fixed order decides: loglevel comes before HIDE.
  EXPECT_EQ(Load("HIDE=1 loglevel=3\n").HIDE, 0);
  // titleDL= does not contain title=, so the two never collide.
  const AppSettingsRecord& s = Load("title=Idle\ntitleDL=Busy\n");
  EXPECT_EQ(s.title, L"Idle");
  EXPECT_EQ(s.titleDL, L"Busy");
  EXPECT_EQ(Load("AuthidE=abc\n").Authid, L"") << "AuthidE is no settings key";
}

TEST_F(SettingsTest, ClipboardWatchIsArmedOnlyByOneAndNeverDisarmed) {
  EXPECT_TRUE(Load("CheckClip=1\nCheckClip=0\n").checkClip);
  EXPECT_FALSE(Load("CheckClip=2\n").checkClip);
  EXPECT_FALSE(Load("CheckClip=\n").checkClip);
}

TEST_F(SettingsTest, ValuesStopAtEqualsSignsAndAreCutToTheirField) {
  EXPECT_EQ(Load("checkURL=http://h/a?x=1\n").checkURL, L"http://h/a?x");
  EXPECT_EQ(Load("title=\n").title, L"") << "the class name goes in at start-up";
  EXPECT_EQ(Load("title=" + std::string(40, 't') + "\n").title, std::wstring(31, L't'));
  EXPECT_EQ(Load("Agent=" + std::string(600, 'a') + "\n").Agent.size(), 513u);
  EXPECT_EQ(Load("title=a b\t\n").title, L"a b\t") << "blanks belong to the value";
}

TEST_F(SettingsTest, CarriageReturnBeforeLineFeedIsRemoved) {
  const AppSettingsRecord& s = Load("title=Idle\r\nloglevel=2\r\nDLPath=dl\r\n");
  EXPECT_EQ(s.title, L"Idle");
  EXPECT_EQ(s.loglevel, 2);
  EXPECT_EQ(ProgramPaths.LogPath, home_.dir().wpath() + L"/dl/ZENPO.log");
}

TEST_F(SettingsTest, LongLinesAreParsedInPiecesOf521Bytes) {
  // The first piece is "DLPath=" and 514 characters; the rest is a line of its own.
  const AppSettingsRecord& s = Load("DLPath=" + std::string(514, 'd') + "loglevel=5\n");
  EXPECT_EQ(s.DLPath, std::wstring(514, L'd'));
  EXPECT_EQ(s.loglevel, 5);
  // 600 bytes of text and then a key in the second piece.
  EXPECT_EQ(Load(std::string(521, 'x') + "msglevel=4\n").msglevel, 4);
  // A key split across the boundary is found in neither piece.
  EXPECT_EQ(Load(std::string(517, 'x') + "msglevel=4\n").msglevel, 1);
}

TEST_F(SettingsTest, HostProfilesTakeFourFieldsInAnyOrder) {
  Load("Referer=http://r/|host=example.org|Agent=Bot|Authid=u:p|Authid=late\n");
  ASSERT_EQ(hostProfiles.size(), 1u);
  EXPECT_EQ(hostProfiles[0].host, L"example.org");
  EXPECT_EQ(hostProfiles[0].Referer, L"http://r/");
  EXPECT_EQ(hostProfiles[0].Agent, L"Bot");
  EXPECT_EQ(hostProfiles[0].Authid, L"u:p") << "the fifth field is ignored";
  EXPECT_EQ(AppSettings.Referer, L"") << "a profile line never sets the global key";
  EXPECT_EQ(AppSettings.Agent, L"Mozilla/4.0");

  Load("||host=h||Agent=a|\nhost=\n");
  ASSERT_EQ(hostProfiles.size(), 2u) << "an empty profile still counts";
  EXPECT_EQ(hostProfiles[0].host, L"h");
  EXPECT_EQ(hostProfiles[0].Agent, L"a");
  EXPECT_EQ(hostProfiles[1].host, L"");
}

TEST_F(SettingsTest, ATwentyFifthProfileIsIgnored) {
  std::string ini;
  for (int i = 0; i < 25; ++i) ini += "host=h" + std::to_string(i) + "\n";
  Load(ini);
  ASSERT_EQ(hostProfiles.size(), 24u);
  for (int i = 0; i < 24; ++i) EXPECT_EQ(hostProfiles[i].host, L"h" + std::to_wstring(i));
}

TEST_F(SettingsTest, LogPathFollowsDLPathWithinTheSystemsLimits) {
  Load("DLPath=/var/tmp/zenpo\n");
  EXPECT_EQ(ProgramPaths.DownloadDir, L"/var/tmp/zenpo");
  EXPECT_EQ(ProgramPaths.LogPath, L"/var/tmp/zenpo/ZENPO.log");
  EXPECT_EQ(ProgramPaths.logPathMb, "/var/tmp/zenpo/ZENPO.log");

  // 101 Japanese characters are 303 bytes: far from the system's path limit.
  std::string japanese = "/";
  for (int i = 0; i < 101; ++i) japanese += "\xe6\x97\xa5";
  Load("DLPath=" + japanese + "\n");
  EXPECT_EQ(ProgramPaths.logPathMb, japanese + "/ZENPO.log");

  // Beyond the limit only the directory is cut.
  BuildLogPath(L"/" + std::wstring(5000, L'd'));
  EXPECT_LE(ProgramPaths.logPathMb.size(), platform::kMaxPathBytes);
  EXPECT_TRUE(ProgramPaths.logPathMb.ends_with("d/ZENPO.log"));
}

TEST_F(SettingsTest, AByteOrderMarkIsNoPartOfTheFirstLine) {
  EXPECT_EQ(Load("\xEF\xBB\xBF//loglevel=0\n").loglevel, 1);
  EXPECT_EQ(Load("\xEF\xBB\xBFmulti=2\n").multi, 2);
}

}  // namespace
}  // namespace zenpo
