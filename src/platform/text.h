// Conversion between wide text (the system's in-memory text) and the device code page
// (the text of every file: settings, list, log).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zenpo::platform {

// Converts wide text to the device code page. The result holds at most max_bytes bytes
// and is cut at a character boundary; characters the code page cannot hold become '?'.
// Safe to call from any thread.
std::string ToCodePage(std::wstring_view text, std::size_t max_bytes = std::string::npos);

// Converts text in the device code page to wide text of at most max_chars characters.
// Bytes that do not form a character of the code page become U+FFFD, so no input is
// ever rejected. Safe to call from any thread.
std::wstring FromCodePage(std::string_view bytes, std::size_t max_chars = std::wstring::npos);

// The same into *out, reusing its storage: for callers that convert many short texts
// (every line of a list) without an allocation each.
void FromCodePage(std::string_view bytes, std::wstring* out,
                  std::size_t max_chars = std::wstring::npos);

// For names, which are bytes rather than text (paths from the system, the URLs of list
// lines): like FromCodePage, but a byte (0x80 to 0xFF) that forms no character becomes the
// placeholder U+DC00 + byte, and PathToSystem turns every placeholder back into its byte.
// So a name comes back as exactly the bytes it was made of, and two different names never
// read the same. Safe to call from any thread.
std::wstring PathFromSystem(std::string_view bytes);
// The same into *out, reusing its storage (every line of a list).
void PathFromSystem(std::string_view bytes, std::wstring* out);
std::string PathToSystem(std::wstring_view path, std::size_t max_bytes = std::string::npos);

// Placeholders stand for bytes 0x80 to 0xFF only (U+DC80 to U+DCFF, which no text holds),
// so that none turns into a separator or a NUL.
constexpr wchar_t kBytePlaceholderBase = 0xDC00;
constexpr bool IsBytePlaceholder(wchar_t c) { return c >= 0xDC80 && c <= 0xDCFF; }

// Text fit to show the user: the placeholders of PathFromSystem become U+FFFD.
std::wstring ShownText(std::wstring_view text);

// The name of the device code page as the conversion uses it (for messages and tests).
std::string CodePageName();

}  // namespace zenpo::platform
