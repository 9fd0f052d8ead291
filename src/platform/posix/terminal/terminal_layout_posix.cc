// Terminal text layout on the C library's wcwidth() for the locale's character widths.
#include "platform/posix/terminal/terminal_layout.h"

#include <wchar.h>

#include <algorithm>

namespace zenpo::platform {
namespace {

constexpr wchar_t kStandIn = L'?';

// Width of a character of printable text.
int Width(wchar_t ch) { return std::max(0, wcwidth(ch)); }

}  // namespace

std::wstring PrintableText(std::wstring_view text) {
  std::wstring out(text);
  for (wchar_t& ch : out) {
    if (wcwidth(ch) < 0) ch = kStandIn;
  }
  return out;
}

int DisplayWidth(std::wstring_view text) {
  int width = 0;
  for (wchar_t ch : PrintableText(text)) width += Width(ch);
  return width;
}

std::wstring FitToWidth(std::wstring_view text, int columns) {
  std::wstring printable = PrintableText(text);
  int used = 0;
  std::size_t end = 0;
  for (; end < printable.size(); ++end) {
    const int w = Width(printable[end]);
    if (used + w > columns) break;
    used += w;
  }
  printable.resize(end);
  return printable;
}

std::vector<std::wstring> WrapText(std::wstring_view text, int columns) {
  columns = std::max(columns, 1);
  std::vector<std::wstring> rows;
  std::size_t start = 0;
  while (true) {
    std::size_t feed = text.find(L'\n', start);
    std::wstring_view paragraph =
        text.substr(start, feed == std::wstring_view::npos ? std::wstring_view::npos : feed - start);
    if (!paragraph.empty() && paragraph.back() == L'\r') paragraph.remove_suffix(1);
    const std::wstring line = PrintableText(paragraph);

    std::wstring row;
    int row_width = 0;
    std::size_t last_space = std::wstring::npos;  // in row
    for (wchar_t ch : line) {
      const int w = Width(ch);
      bool taken_by_break = false;
      while (row_width + w > columns && !row.empty()) {
        if (ch == L' ') {  // the break falls on this space, which goes with it
          rows.push_back(row);
          row.clear();
          taken_by_break = true;
        } else if (last_space != std::wstring::npos &&
                   row.find_first_not_of(L' ') < last_space) {  // never an empty row
          rows.push_back(row.substr(0, last_space));
          row.erase(0, last_space + 1);
        } else {
          rows.push_back(row);
          row.clear();
        }
        row_width = DisplayWidth(row);
        last_space = row.rfind(L' ');
      }
      if (taken_by_break) continue;
      if (ch == L' ') last_space = row.size();
      row.push_back(ch);
      row_width += w;
    }
    rows.push_back(row);
    if (feed == std::wstring_view::npos) break;
    start = feed + 1;
  }
  return rows;
}

int RightAlignedStart(std::wstring_view text, int begin, int end) {
  const int start = end - DisplayWidth(text);
  return start >= begin ? start : -1;
}

}  // namespace zenpo::platform
