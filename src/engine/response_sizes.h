// What a response says about the file's size, and what the engine makes of it: the
// expected size, whether the local file is kept or started over, and the progress text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zenpo {

// The total size of a Content-Range value ("bytes 100-199/200" gives 200): the second
// piece split at "/" read by ReadDecimal; 0 when the total is absent or unknown ("*").
std::int64_t ContentRangeTotal(std::wstring_view content_range);

// The range a partial answer carries, "bytes first-last/total" or "bytes first-last/*".
struct ContentRange {
  std::int64_t first = 0;
  std::int64_t last = 0;
  std::int64_t total = 0;  // 0 when unknown ("*")
};
// False when the value names no range ("bytes */200") or is not of that form, or when
// its numbers contradict each other (first > last, last beyond the total).
bool ParseContentRange(std::wstring_view content_range, ContentRange* range);

// The full size of the server's file: the Content-Range total when known; else the
// Content-Length, plus the offset the body starts at when the answer is a partial one
// (body_start: the range's first byte, or the local size when the range is unreadable);
// else 0.
std::int64_t ExpectedSize(std::int64_t body_start, bool has_content_range,
                          std::int64_t range_total, std::int64_t content_length);

// size * 100 / expected, for expected > 0.
std::int64_t ProgressPercent(std::int64_t size, std::int64_t expected);

// "%d / %d Bytes [ %d%% ]" with 64-bit numbers.
std::wstring FormatProgressLine(std::int64_t size, std::int64_t expected, std::int64_t percent);

}  // namespace zenpo
