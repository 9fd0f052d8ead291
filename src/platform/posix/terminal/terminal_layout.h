// Terminal text layout: display widths of wide text, clipping, wrapping at spaces and
// right alignment, in terminal columns. Pure functions, safe from any thread; widths
// follow the process's character locale (the terminal front end sets one).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zenpo::platform {

// Text that can go to the terminal as it is: control characters and characters the
// locale cannot print become '?', so no text can move the cursor or send commands to
// the terminal.
std::wstring PrintableText(std::wstring_view text);

// Columns the printable form of text takes: 2 for each wide (East Asian) character, 0 for
// combining marks.
int DisplayWidth(std::wstring_view text);

// The longest start of the printable text that fits in columns; a wide character that
// would straddle the edge is left out whole.
std::wstring FitToWidth(std::wstring_view text, int columns);

// The printable text cut into rows of at most columns: a new row at each line feed (a
// carriage return before it is dropped), at the last space that fits when a row is full
// (that space is dropped), and inside a word only when the word alone is wider than a
// row. A text of no characters is one empty row. columns < 1 is taken as 1.
std::vector<std::wstring> WrapText(std::wstring_view text, int columns);

// The column where text starts when it is right-aligned to end just before column end;
// -1 when it does not fit whole between begin and end: a status word cut short reads as
// another word ("Resume OK" as "Resume"), so it is left out instead.
int RightAlignedStart(std::wstring_view text, int begin, int end);

}  // namespace zenpo::platform
