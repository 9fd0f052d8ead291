// What a response says about the file's size, and what the engine makes of it: the
// expected size, whether the local file is kept or started over, and the progress text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zenpo {

// The decimal value at the start of text the way strtol reads it: leading white space,
// an optional sign, the digits up to the first other character; 0 without digits. Values
// beyond 64 bits saturate.
std::int64_t ParseDecimal(std::wstring_view text);

// The total size of a Content-Range value ("bytes 100-199/200" gives 200); 0 when the
// total is absent or unknown ("*").
std::int64_t ContentRangeTotal(std::wstring_view content_range);

// The first byte of a partial answer ("bytes 100-199/200" gives 100); -1 when the value
// names no range ("bytes */200", or text of another form).
std::int64_t ContentRangeStart(std::wstring_view content_range);

// The full size of the server's file: the Content-Range total when known; else the
// Content-Length, plus the local size when the answer is a partial one; else 0.
std::int64_t ExpectedSize(std::int64_t local_size, bool has_content_range,
                          std::int64_t range_total, std::int64_t content_length);

// Whether the local file must be emptied before the body is written: a whole-file
// answer for a file of another size, or a partial answer to a file larger than the
// server's.
bool MustStartOver(std::int64_t local_size, std::int64_t expected, bool has_content_range);

// size * 100 / expected, for expected > 0.
std::int64_t ProgressPercent(std::int64_t size, std::int64_t expected);

// "%d / %d Bytes [ %d%% ]" with 64-bit numbers.
std::wstring FormatProgressLine(std::int64_t size, std::int64_t expected, std::int64_t percent);

}  // namespace zenpo
