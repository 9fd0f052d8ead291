// LoadSettings: key=value lines, keys found anywhere in the line, host profiles.
#include "config/settings.h"

#include <array>
#include <cstdio>
#include <span>
#include <string_view>

#include "config/program_paths.h"
#include "fields/decimal.h"
#include "fields/piece_reader.h"
#include "fields/split.h"
#include "platform/files.h"
#include "platform/text.h"

namespace zenpo {

AppSettingsRecord AppSettings;
std::vector<HostProfile> hostProfiles;

namespace {

// A host profile line gives at most this many fields; further ones are ignored.
constexpr std::size_t kProfileFields = 4;

// The value of a line or field: after its first "=", leading "=" skipped, up to the next
// "=" or the end. Empty when there is none.
std::wstring ValueOf(std::wstring_view text) {
  std::size_t start = text.find(L'=');
  if (start == std::wstring_view::npos) return L"";
  while (start < text.size() && text[start] == L'=') ++start;
  const std::size_t end = text.find(L'=', start);
  return std::wstring(text.substr(start, end == std::wstring_view::npos ? end : end - start));
}

bool Contains(std::wstring_view line, std::wstring_view key) {
  return line.find(key) != std::wstring_view::npos;
}

// Values that are text, not paths, show the bytes that form no text as U+FFFD.
void SetText(std::wstring& field, const std::wstring& value, std::size_t capacity) {
  if (!value.empty()) field = platform::ShownText(value.substr(0, capacity));
}

void SetPath(std::wstring& field, const std::wstring& value, std::size_t capacity) {
  if (!value.empty()) field = value.substr(0, capacity);
}

void SetNumber(std::int32_t& field, const std::wstring& value) {
  if (!value.empty()) field = ReadDecimal32(value);
}

void AddHostProfile(std::wstring_view line) {
  if (hostProfiles.size() >= kMaxHostProfiles) return;
  HostProfile profile;
  std::array<std::wstring_view, kProfileFields> fields;
  const std::size_t count = SplitPieces(line, L'|', fields);
  struct Key {
    const wchar_t* name;
    std::wstring HostProfile::*field;
    std::size_t capacity;
  };
  static const Key kKeys[] = {
      {L"host=", &HostProfile::host, settings_capacity::kReferer},
      {L"Referer=", &HostProfile::Referer, settings_capacity::kReferer},
      {L"Agent=", &HostProfile::Agent, settings_capacity::kAgent},
      {L"Authid=", &HostProfile::Authid, settings_capacity::kAuthid},
  };
  for (std::wstring_view field : std::span(fields).first(count)) {
    for (const Key& key : kKeys) {
      if (!Contains(field, key.name)) continue;
      SetText(profile.*key.field, ValueOf(field), key.capacity);
      break;  // one field yields at most one key
    }
  }
  hostProfiles.push_back(std::move(profile));
}

void ParseLine(const std::wstring& line) {
  AppSettingsRecord& s = AppSettings;
  const std::wstring value = ValueOf(line);
  const bool has_host = Contains(line, L"host=");
  if (Contains(line, L"loglevel=")) {
    SetNumber(s.loglevel, value);
  } else if (Contains(line, L"msglevel=")) {
    SetNumber(s.msglevel, value);
  } else if (Contains(line, L"DLBuff=")) {
    if (value.empty()) return;
    const auto v = static_cast<std::uint32_t>(ReadDecimal32(value));
    s.DLBuff = v > kMaxDLBuff ? kMaxDLBuff : v < kMinDLBuff ? kMinDLBuff : static_cast<std::int32_t>(v);
  } else if (Contains(line, L"DLTimeout=")) {
    SetNumber(s.DLTimeout, value);
  } else if (Contains(line, L"CNTimeout=")) {
    SetNumber(s.CNTimeout, value);
  } else if (Contains(line, L"HIDE=")) {
    SetNumber(s.HIDE, value);
  } else if (Contains(line, L"CheckClip=")) {
    if (!value.empty() && ReadDecimal32(value) == 1) s.checkClip = true;
  } else if (Contains(line, L"dellist=")) {
    SetNumber(s.dellist, value);
  } else if (Contains(line, L"mkdir=")) {
    SetNumber(s.mkdir, value);
  } else if (Contains(line, L"multi=")) {
    if (value.empty()) return;
    const auto v = static_cast<std::uint32_t>(ReadDecimal32(value));
    s.multi = v > kMaxInstances ? kMaxInstances : static_cast<std::int32_t>(v);
  } else if (Contains(line, L"DLPath=")) {
    SetPath(s.DLPath, value, settings_capacity::kDLPath);
  } else if (Contains(line, L"proxy=")) {
    SetText(s.proxy, value, settings_capacity::kProxy);
  } else if (Contains(line, L"checkURL=")) {
    SetText(s.checkURL, value, settings_capacity::kCheckUrl);
  } else if (Contains(line, L"title=")) {
    SetText(s.title, value, settings_capacity::kTitle);
  } else if (Contains(line, L"titleDL=")) {
    SetText(s.titleDL, value, settings_capacity::kTitle);
  } else if (Contains(line, L"Agent=") && !has_host) {
    SetText(s.Agent, value, settings_capacity::kAgent);
  } else if (Contains(line, L"Referer=") && !has_host) {
    SetText(s.Referer, value, settings_capacity::kReferer);
  } else if (Contains(line, L"Authid=") && !has_host) {
    SetText(s.Authid, value, settings_capacity::kAuthid);
  } else if (has_host) {
    AddHostProfile(line);
  } else if (Contains(line, L"https=")) {
    // Tested last: a URL value that happens to hold "https=" never reaches this test, as
    // its own key comes first.
    SetNumber(s.https, value);
  }
}

}  // namespace

void ResetSettings() {
  AppSettings = AppSettingsRecord();
  hostProfiles.clear();
}

void LoadSettings() {
  hostProfiles.clear();
  if (std::FILE* f = platform::OpenFile(ProgramPaths.SettingsPath, "r")) {
    PieceReader reader(f, kSettingsPieceBytes);
    Piece piece;
    while (reader.Next(&piece)) {
      // Lines keep the bytes that form no text, so that DLPath names the folder the
      // system has. A line written on Windows ends in CR LF; the CR belongs to no value.
      const std::wstring line = platform::PathFromSystem(LineText(piece.bytes));
      if (line.size() < 2 || line[0] == L'/') continue;
      ParseLine(line);
    }
    std::fclose(f);
  }
  BuildLogPath(AppSettings.DLPath);
}

}  // namespace zenpo
