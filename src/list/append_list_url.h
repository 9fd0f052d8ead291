// Queueing a URL: one new line at the end of the list, under the rename lock.
#pragma once

#include <cstdio>
#include <string_view>

#include "report/result_codes.h"

namespace zenpo {

// How an open list ends: its size, whether its last line lacks its line end, and the
// line end of its last complete line (a line feed when it has none).
struct ListEnd {
  long size = 0;
  bool open_line = false;
  const char* line_end = "\n";
};

// Reads how the list open for reading in f ends; false when it cannot be read.
bool ReadListEnd(std::FILE* f, ListEnd* end);

// Appends url, converted to the device code page and never shortened, as a line of its
// own in URL form. When the list's last line lacks its line feed, one is added first so
// the URL never joins that line; the line ends are those of the list's last complete
// line (CR LF or LF). The line is on the disk before the list is released. Returns 160;
// 161 when the list is in use or missing (the caller retries); 151 when the locked list
// cannot be opened or written (a partly written line is taken back); 153 when the list
// cannot get its name back; or 102. Called by the clipboard watcher; safe from any thread.
ResultCode AppendListUrl(std::wstring_view url);

}  // namespace zenpo
