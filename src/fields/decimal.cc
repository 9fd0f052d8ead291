// The decimal reader of settings, list lines and response headers.
#include "fields/decimal.h"

#include <limits>

namespace zenpo {

std::int64_t ReadDecimal(std::wstring_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsDecimalBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  // The magnitude stops growing one past the largest value, which is the smallest's.
  constexpr std::uint64_t kMaxMagnitude = std::numeric_limits<std::int64_t>::max();
  std::uint64_t value = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    const auto digit = static_cast<std::uint64_t>(text[i] - L'0');
    value = value > (kMaxMagnitude + 1 - digit) / 10 ? kMaxMagnitude + 1 : value * 10 + digit;
  }
  if (negative) {
    return value > kMaxMagnitude ? std::numeric_limits<std::int64_t>::min()
                                 : -static_cast<std::int64_t>(value);
  }
  return value > kMaxMagnitude ? std::numeric_limits<std::int64_t>::max()
                               : static_cast<std::int64_t>(value);
}

std::int32_t ReadDecimal32(std::wstring_view text) {
  const std::int64_t value = ReadDecimal(text);
  if (value > std::numeric_limits<std::int32_t>::max()) {
    return std::numeric_limits<std::int32_t>::max();
  }
  if (value < std::numeric_limits<std::int32_t>::min()) {
    return std::numeric_limits<std::int32_t>::min();
  }
  return static_cast<std::int32_t>(value);
}

}  // namespace zenpo
