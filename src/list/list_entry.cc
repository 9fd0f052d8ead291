// The list line grammar: URL test, fields, status and options.
#include "list/list_entry.h"

#include <cstdio>

#include "config/settings.h"
#include "fields/decimal.h"
#include "fields/split.h"

namespace zenpo {
namespace {

constexpr std::wstring_view kUrlScheme = L"http://";
constexpr std::wstring_view kSecureUrlScheme = L"https://";
constexpr std::size_t kMinUrlChars = 10;

// The keys in the order they are tried on a field.
struct KeyText {
  OptionKey key;
  std::wstring_view text;
};
constexpr std::array<KeyText, 5> kOptionKeys = {{
    {OptionKey::kAgent, L"Agent="},
    {OptionKey::kReferer, L"Referer="},
    {OptionKey::kAuthid, L"Authid="},
    {OptionKey::kAuthidE, L"AuthidE="},
    {OptionKey::kCookie, L"Cookie="},
}};

}  // namespace

bool IsDownloadUrl(std::wstring_view text) {
  const bool scheme = text.starts_with(kUrlScheme) ||
                      (AppSettings.https != 0 && text.starts_with(kSecureUrlScheme));
  return text.size() >= kMinUrlChars && text.back() != L'/' && scheme;
}

ListFields SplitListFields(std::wstring_view line) {
  ListFields f;
  f.count = SplitPieces(line, L'|', f.field);
  return f;
}

std::string FormatStatusColumn(std::int32_t status) {
  char buf[16];
  const int n = std::snprintf(buf, sizeof(buf), "%3d|", status);
  return std::string(buf, static_cast<std::size_t>(n));
}

ListOption MatchOption(std::wstring_view field) {
  for (const KeyText& k : kOptionKeys) {
    if (field.find(k.text) == std::wstring_view::npos) continue;
    std::wstring_view pieces[2];
    if (SplitPieces(field, L'=', pieces) < 2) return {};
    return {k.key, pieces[1]};
  }
  return {};
}

ListEntry ParseListEntry(std::wstring_view line) {
  ListEntry e;
  e.fields = SplitListFields(line);
  if (e.fields.count >= 1 && IsDownloadUrl(e.fields.field[0])) {
    e.form = EntryForm::kUrl;
    e.url = e.fields.field[0];
    e.first_option = 1;
  } else if (e.fields.count >= 2 && IsDownloadUrl(e.fields.field[1])) {
    e.form = EntryForm::kStatus;
    e.url = e.fields.field[1];
    e.status = ReadDecimal32(e.fields.field[0]);
    e.first_option = 2;
  }
  return e;
}

}  // namespace zenpo
