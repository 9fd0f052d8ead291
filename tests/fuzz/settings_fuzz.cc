// The settings reader on any ZENPO.ini: every value stays within its limits, text values
// hold only text to show, the log path stays within the system's limit and ends in the
// log's own name, and a leading byte-order mark changes nothing.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/program_paths.h"
#include "config/settings.h"
#include "fuzz/fuzz_home.h"
#include "platform/files.h"
#include "platform/text.h"

namespace zenpo {
namespace {

bool Shown(const std::wstring& text) { return platform::ShownText(text) == text; }

bool SameSettings(const AppSettingsRecord& a, const AppSettingsRecord& b) {
  return a.loglevel == b.loglevel && a.msglevel == b.msglevel && a.DLBuff == b.DLBuff &&
         a.DLTimeout == b.DLTimeout && a.CNTimeout == b.CNTimeout && a.HIDE == b.HIDE &&
         a.dellist == b.dellist && a.mkdir == b.mkdir && a.multi == b.multi &&
         a.DLPath == b.DLPath && a.proxy == b.proxy && a.checkURL == b.checkURL &&
         a.title == b.title && a.titleDL == b.titleDL && a.Agent == b.Agent &&
         a.Referer == b.Referer && a.Authid == b.Authid && a.checkClip == b.checkClip;
}

void Load(const std::uint8_t* data, std::size_t size, bool mark) {
  fuzz::QuietDefaults();
  std::string bytes = mark ? "\xEF\xBB\xBF" : "";
  bytes.append(reinterpret_cast<const char*>(data), size);
  fuzz::WriteWhole(ProgramPaths.settingsPathMb, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                   bytes.size());
  ResetSettings();
  LoadSettings();
}

}  // namespace
}  // namespace zenpo

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zenpo;
  using fuzz::Check;
  Load(data, size, false);
  const AppSettingsRecord s = AppSettings;
  const std::vector<HostProfile> profiles = hostProfiles;
  const std::string log_path = ProgramPaths.logPathMb;

  Check(s.DLBuff >= kMinDLBuff && s.DLBuff <= kMaxDLBuff, "DLBuff within 50..20480");
  Check(s.multi >= 0 && s.multi <= kMaxInstances, "multi within 0..4");
  Check(profiles.size() <= kMaxHostProfiles, "at most 24 host profiles");
  Check(s.DLPath.size() <= settings_capacity::kDLPath && s.proxy.size() <= settings_capacity::kProxy &&
            s.checkURL.size() <= settings_capacity::kCheckUrl &&
            s.title.size() <= settings_capacity::kTitle &&
            s.titleDL.size() <= settings_capacity::kTitle &&
            s.Agent.size() <= settings_capacity::kAgent &&
            s.Referer.size() <= settings_capacity::kReferer &&
            s.Authid.size() <= settings_capacity::kAuthid,
        "text values within their capacities");
  Check(Shown(s.proxy) && Shown(s.checkURL) && Shown(s.title) && Shown(s.titleDL) &&
            Shown(s.Agent) && Shown(s.Referer) && Shown(s.Authid),
        "text values hold only text to show");
  for (const HostProfile& p : profiles) {
    Check(Shown(p.host) && Shown(p.Referer) && Shown(p.Agent) && Shown(p.Authid),
          "profile values hold only text to show");
  }
  Check(log_path.size() <= platform::kMaxPathBytes, "log path within the system's limit");
  Check(log_path.size() >= 10 && log_path.ends_with("/ZENPO.log"), "log file keeps its name");
  Check(platform::NarrowPath(ProgramPaths.LogPath) == log_path, "log path twins agree");

  // One mark is taken off: an input that has one already is compared as it is.
  if (std::string_view(reinterpret_cast<const char*>(data), size).starts_with("\xEF\xBB\xBF")) {
    return 0;
  }
  Load(data, size, true);
  Check(SameSettings(s, AppSettings) && ProgramPaths.logPathMb == log_path &&
            hostProfiles.size() == profiles.size(),
        "a leading byte-order mark changes nothing");
  return 0;
}
