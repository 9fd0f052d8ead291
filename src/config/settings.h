// The settings record, the host profiles and their reader. LoadSettings runs once at
// start-up before any other thread exists; afterwards the records are read-only, except
// HIDE (the main window's hidden state, UI thread) and ClipState (see runtime flags).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zenpo {

struct AppSettingsRecord {
  std::int32_t loglevel = 1;
  std::int32_t msglevel = 1;
  std::int32_t DLBuff = 10240;
  std::int32_t DLTimeout = 20000;
  std::int32_t CNTimeout = 40000;
  std::int32_t HIDE = 0;
  std::int32_t dellist = 0;
  std::int32_t mkdir = 1;
  std::int32_t multi = 1;
  std::wstring DLPath;
  std::wstring proxy;
  std::wstring checkURL = L"http://example.com/";
  std::wstring title;
  std::wstring titleDL;
  std::wstring Agent = L"Mozilla/4.0";
  std::wstring Referer;
  std::wstring Authid;
  // Non-zero: URLs beginning "https://" are entries and clipboard links too, like "http://".
  std::int32_t https = 0;
  // CheckClip=1 was read: the clipboard watcher starts with the window in slot 0.
  bool checkClip = false;
};

// Capacities of the text settings in characters; longer values are cut.
namespace settings_capacity {
constexpr std::size_t kDLPath = 1027;
constexpr std::size_t kProxy = 513;
constexpr std::size_t kCheckUrl = 259;
constexpr std::size_t kTitle = 31;
constexpr std::size_t kAgent = 513;
constexpr std::size_t kReferer = 515;
constexpr std::size_t kAuthid = 515;
}  // namespace settings_capacity

constexpr std::int32_t kMinDLBuff = 50;
constexpr std::int32_t kMaxDLBuff = 20480;
constexpr std::int32_t kMaxInstances = 4;
constexpr std::size_t kMaxHostProfiles = 24;

// One host= line: per-host Referer, user agent and plain credentials. A profile applies
// to a URL that contains host (case-sensitive); an empty host never matches.
struct HostProfile {
  std::wstring host;
  std::wstring Referer;
  std::wstring Agent;
  std::wstring Authid;
};

extern AppSettingsRecord AppSettings;
// At most kMaxHostProfiles profiles, in file order.
extern std::vector<HostProfile> hostProfiles;

// Restores every default and empties the profiles.
void ResetSettings();

// Reads ProgramPaths.SettingsPath into AppSettings and hostProfiles (a missing file
// leaves the defaults), then builds the log path from DLPath. Reports nothing.
void LoadSettings();

}  // namespace zenpo
