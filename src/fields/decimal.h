// Decimal numbers at the start of a field of text, read as the C library's decimal
// conversion reads them. Pure functions; safe from any thread.
#pragma once

#include <cstdint>
#include <string_view>

namespace zenpo {

// The blanks a number may follow: the C library's white space in its "C" locale. Fixed,
// not the user's locale, so that a file reads the same in every locale and on both systems.
constexpr bool IsDecimalBlank(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

// The value at the start of text: blanks skipped, an optional sign, the digits up to the
// first other character; 0 without digits. Values beyond 64 bits saturate.
std::int64_t ReadDecimal(std::wstring_view text);

// The same saturated to 32 bits, as the device's long holds the numbers of the settings
// and the status of a list line (sizes take ReadDecimal: files grow past 4 GiB).
std::int32_t ReadDecimal32(std::wstring_view text);

}  // namespace zenpo
