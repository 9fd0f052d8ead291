// The grammar of one list line: the URL test, the bar-separated fields, the status column
// and the per-entry options. Pure functions on the wide parse copy of a line; safe from
// any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fields/credential.h"

namespace zenpo {

// Only this many fields of a line are looked at; further fields stay in the file unread.
constexpr std::size_t kMaxListFields = 6;

// What the consumers of an entry can hold, in characters (the plain credentials of
// "Authid=": kMaxCredentialBytes).
namespace entry_capacity {
constexpr std::size_t kUrl = 1024;
constexpr std::size_t kAgent = 512;
constexpr std::size_t kReferer = 512;
constexpr std::size_t kAuthorization = kMaxAuthorizationChars;
constexpr std::size_t kCookie = 4096;
}  // namespace entry_capacity

// The URL test: at least 10 characters, not ending in "/", beginning with exactly
// "http://" (lower case), or "https://" when the https setting is on. Nothing else is
// checked; other schemes never pass. Reads AppSettings, which is fixed after start-up.
bool IsDownloadUrl(std::wstring_view text);

// The first kMaxListFields fields of a line, split at "|" (SplitPieces: leading and
// doubled bars make no field).
struct ListFields {
  std::array<std::wstring_view, kMaxListFields> field;
  std::size_t count = 0;
};
ListFields SplitListFields(std::wstring_view line);

// The status column as the system writes it: "%3d|".
std::string FormatStatusColumn(std::int32_t status);

enum class OptionKey { kNone, kAgent, kReferer, kAuthid, kAuthidE, kCookie };

// One option field: the first key of "Agent=", "Referer=", "Authid=", "AuthidE=",
// "Cookie=" found anywhere in the field decides it; the value is the second piece of the
// field split at "=" (so it never holds "=" and loses leading ones). kNone when no key
// matches or the field has no value.
struct ListOption {
  OptionKey key = OptionKey::kNone;
  std::wstring_view value;
};
ListOption MatchOption(std::wstring_view field);

// A line judged as an entry. URL form: the first field passes the URL test, options from
// the second field, status 0. Status form: the second field passes, options from the
// third, status from the first field read as the device reads a decimal long
// (ReadDecimal32: no digits give 0, which is no status). Any other line is no entry (form
// kNone).
enum class EntryForm { kNone, kUrl, kStatus };
struct ListEntry {
  EntryForm form = EntryForm::kNone;
  ListFields fields;
  std::wstring_view url;
  std::int32_t status = 0;
  std::size_t first_option = 0;  // index into fields
};
ListEntry ParseListEntry(std::wstring_view line);

}  // namespace zenpo
