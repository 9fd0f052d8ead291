// Sizes from the response headers.
#include "engine/response_sizes.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "fields/decimal.h"
#include "fields/split.h"

namespace zenpo {

std::int64_t ContentRangeTotal(std::wstring_view content_range) {
  std::wstring_view pieces[2];
  return SplitPieces(content_range, L'/', pieces) < 2 ? 0 : ReadDecimal(pieces[1]);
}

bool ParseContentRange(std::wstring_view content_range, ContentRange* range) {
  // Digits only: a sign or blanks inside the numbers make the value unreadable.
  auto number = [&content_range](std::size_t* at, std::int64_t* value) {
    const std::size_t start = *at;
    while (*at < content_range.size() && content_range[*at] >= L'0' && content_range[*at] <= L'9') {
      ++*at;
    }
    if (*at == start) return false;
    *value = ReadDecimal(content_range.substr(start, *at - start));
    return *value < std::numeric_limits<std::int64_t>::max();
  };
  std::size_t at = 0;
  while (at < content_range.size() && content_range[at] == L' ') ++at;
  if (content_range.substr(at, 6) != L"bytes ") return false;
  at += 6;
  while (at < content_range.size() && content_range[at] == L' ') ++at;
  ContentRange r;
  if (!number(&at, &r.first) || at >= content_range.size() || content_range[at++] != L'-' ||
      !number(&at, &r.last) || at >= content_range.size() || content_range[at++] != L'/') {
    return false;
  }
  if (content_range.substr(at) == L"*") {
    r.total = 0;
  } else if (!number(&at, &r.total) || at != content_range.size() || r.last >= r.total) {
    return false;
  }
  if (r.first > r.last) return false;
  *range = r;
  return true;
}

std::int64_t ExpectedSize(std::int64_t body_start, bool has_content_range,
                          std::int64_t range_total, std::int64_t content_length) {
  if (range_total > 0) return range_total;
  if (content_length > 0) {
    if (!has_content_range) return content_length;
    // Saturates rather than wraps for sizes no file has.
    return body_start > std::numeric_limits<std::int64_t>::max() - content_length
               ? std::numeric_limits<std::int64_t>::max()
               : body_start + content_length;
  }
  return 0;
}

std::int64_t ProgressPercent(std::int64_t size, std::int64_t expected) {
  // Exact while size * 100 fits; beyond that (exabytes) the quotient is taken first.
  if (size <= std::numeric_limits<std::int64_t>::max() / 100) return size * 100 / expected;
  return size / expected * 100;
}

std::wstring FormatProgressLine(std::int64_t size, std::int64_t expected, std::int64_t percent) {
  std::wstring line;
  auto append_number = [&line](std::int64_t value) {
    char digits[24];
    const char* end = std::to_chars(digits, digits + sizeof(digits), value).ptr;
    line.append(static_cast<const char*>(digits), end);
  };
  append_number(size);
  line += L" / ";
  append_number(expected);
  line += L" Bytes [ ";
  append_number(percent);
  line += L"% ]";
  return line;
}

}  // namespace zenpo
