// The settings reader on any ZENPO.ini: every value within its limits, texts only of what
// can be shown, and the log path within the system's limit, ending in the log's name.
#include <cstdint>

#include "fuzz/fuzz_home.h"
#include "platform/files.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zenpo;
  using fuzz::Check;
  fuzz::QuietDefaults();
  test::WriteFile(platform::NarrowPath(ProgramPaths.SettingsPath), std::string(reinterpret_cast<const char*>(data), size));
  LoadSettings();
  const AppSettingsRecord& s = AppSettings;
  Check(s.DLBuff >= kMinDLBuff && s.DLBuff <= kMaxDLBuff, "DLBuff within 50..20480");
  Check(s.multi >= 0 && s.multi <= kMaxInstances, "multi within 0..4");
  Check(hostProfiles.size() <= kMaxHostProfiles, "at most 24 host profiles");
  namespace cap = settings_capacity;
  const std::pair<const std::wstring*, std::size_t> texts[] = {
      {&s.DLPath, cap::kDLPath}, {&s.proxy, cap::kProxy}, {&s.checkURL, cap::kCheckUrl}, {&s.title, cap::kTitle},
      {&s.titleDL, cap::kTitle}, {&s.Agent, cap::kAgent}, {&s.Referer, cap::kReferer}, {&s.Authid, cap::kAuthid}};
  for (const auto& [text, capacity] : texts) {
    Check(text->size() <= capacity, "text values within their capacities");
    Check(text == &s.DLPath || platform::ShownText(*text) == *text, "text values hold only text to show");
  }
  const std::string log_path = platform::NarrowPath(ProgramPaths.LogPath);
  Check(log_path.size() <= platform::kMaxPathBytes, "log path within the system's limit");
  Check(log_path.size() >= 10 && log_path.ends_with("/ZENPO.log"), "log file keeps its name");
  return 0;
}
