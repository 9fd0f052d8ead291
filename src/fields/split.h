// Splitting a field of text at a separator, as the list's bars, an option's equals signs,
// a host profile's bars, a URL's slashes and a Content-Range's slash are split. A pure
// function; safe from any thread.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace zenpo {

// Splits text at sep as a string tokenizer does: separators at the start are skipped and
// a run of them counts as one, so no piece is empty. Fills at most pieces.size() views
// into text and returns how many; the last of them ends at a separator like the others,
// never taking the rest of the text.
std::size_t SplitPieces(std::wstring_view text, wchar_t sep, std::span<std::wstring_view> pieces);

}  // namespace zenpo
