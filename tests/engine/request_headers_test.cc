#include "engine/request_headers.h"

#include <gtest/gtest.h>

namespace zenpo {
namespace {

RequestIdentity Entry(std::wstring agent = L"", std::wstring referer = L"",
                      std::wstring authorization = L"") {
  return {std::move(agent), std::move(referer), std::move(authorization), L""};
}

TEST(RequestIdentityTest, FirstProfileGivesAgentAndRefererLastGivesCredential) {
  AppSettingsRecord settings;
  const std::vector<HostProfile> profiles = {
      {L"a", L"http://ref-a/", L"", L"user-a:pw"},
      {L"a.b", L"http://ref-ab/", L"Agent-ab", L"user-ab:pw"},
      {L"other", L"http://nope/", L"Nope", L"nope:pw"},
      {L"", L"http://empty/", L"Empty", L"empty:pw"},
  };
  const RequestIdentity id = ChooseRequestIdentity(L"http://a.b/f", Entry(), profiles, settings);
  EXPECT_EQ(id.referer, L"http://ref-a/");
  EXPECT_EQ(id.agent, L"Agent-ab");
  EXPECT_EQ(id.credential, L"user-ab:pw");
  EXPECT_TRUE(id.authorization.empty());
}

TEST(RequestIdentityTest, EntryValuesWinAndSettingsFillTheRest) {
  AppSettingsRecord settings;
  settings.Referer = L"http://settings/";
  settings.Authid = L"s:pw";
  const std::vector<HostProfile> profiles = {{L"files.example", L"", L"", L"p:pw"}};
  RequestIdentity id =
      ChooseRequestIdentity(L"http://files.example/f", Entry(L"", L"", L"ZW50cnk="), profiles, settings);
  EXPECT_EQ(id.agent, L"Mozilla/4.0");
  EXPECT_EQ(id.referer, L"http://settings/");
  EXPECT_EQ(id.authorization, L"ZW50cnk=");
  // The matching profile never replaces the entry's own credential.
  EXPECT_NE(id.credential, L"p:pw");
  id = ChooseRequestIdentity(L"http://x/f", Entry(L"Mine", L"http://mine/"), profiles, settings);
  EXPECT_EQ(id.agent, L"Mine");
  EXPECT_EQ(id.referer, L"http://mine/");
  EXPECT_EQ(id.credential, L"s:pw");
}

TEST(RequestIdentityTest, NoValueCanAddAHeaderLine) {
  AppSettingsRecord settings;
  const RequestIdentity id = ChooseRequestIdentity(
      L"http://h/f", Entry(L"A\r\nX-Evil: 1", L"http://r/\r\nX-Evil: 2", L"YQ==\nX: 3"), {},
      settings);
  EXPECT_EQ(id.agent, L"AX-Evil: 1");
  EXPECT_EQ(id.referer, L"http://r/X-Evil: 2");
  EXPECT_EQ(id.authorization, L"YQ==X: 3");
}

TEST(HeaderBlockTest, AcceptRefererRangeAuthorizationInThisOrder) {
  EXPECT_EQ(BuildHeaderBlock(L"", 0, L""), L"Accept: */*\r\nRange: bytes=0-\r\n");
  EXPECT_EQ(BuildHeaderBlock(L"http://r/", 512, L"dTpw"),
            L"Accept: */*\r\nReferer: http://r/\r\nRange: bytes=512-\r\n"
            L"Authorization: Basic dTpw\r\n");
  EXPECT_EQ(BuildHeaderBlock(L"", 5LL << 30, L""),
            L"Accept: */*\r\nRange: bytes=5368709120-\r\n");
}

TEST(HeaderBlockTest, CredentialIsEncodedFromTheCodePageAndCutAt255Bytes) {
  EXPECT_EQ(EncodeCredential(L"user:pass"), L"dXNlcjpwYXNz");
  EXPECT_EQ(EncodeCredential(L""), L"");
  EXPECT_EQ(EncodeCredential(std::wstring(300, L'x')).size(), 340u);
}

}  // namespace
}  // namespace zenpo
