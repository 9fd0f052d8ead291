// The tokenizer of list lines, options, host profiles, URLs and Content-Range values.
#include "fields/split.h"

#include <algorithm>

namespace zenpo {

std::size_t SplitPieces(std::wstring_view text, wchar_t sep, std::span<std::wstring_view> pieces) {
  std::size_t count = 0;
  for (std::size_t pos = 0; count < pieces.size();) {
    const std::size_t start = text.find_first_not_of(sep, pos);
    if (start == std::wstring_view::npos) break;
    pos = std::min(text.find(sep, start), text.size());
    pieces[count++] = text.substr(start, pos - start);
  }
  return count;
}

}  // namespace zenpo
