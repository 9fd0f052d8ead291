// ListLine's parse copy and status column.
#include "list/list_line.h"

#include "platform/text.h"

namespace zenpo {

std::wstring_view ListLine::parse() const {
  if (!converted_) {
    platform::PathFromSystem(LineText(piece_.bytes), &parse_);
    converted_ = true;
  }
  return parse_;
}

bool ListLine::Cuts(std::wstring_view field) const {
  const std::wstring_view text = parse();
  return !piece_.ends_line && field.data() + field.size() == text.data() + text.size();
}

std::size_t ListLine::StatusColumnBytes(const ListFields& fields, std::int32_t status) const {
  if (status == 0 || fields.count < 2) return 0;
  const std::wstring_view text = parse();
  // The first field ends at a bar, since a second field follows it.
  const std::size_t bar = static_cast<std::size_t>(fields.field[0].data() - text.data()) +
                          fields.field[0].size();
  const std::string prefix = platform::PathToSystem(text.substr(0, bar + 1));
  if (piece_.bytes.starts_with(prefix)) return prefix.size();
  // The field does not convert back to its bytes (an invalid sequence in it): its bar is
  // then found in the bytes themselves.
  const std::size_t first = piece_.bytes.find_first_not_of('|');
  const std::size_t byte_bar = first == std::string_view::npos ? first : piece_.bytes.find('|', first);
  return byte_bar == std::string_view::npos ? 0 : byte_bar + 1;
}

}  // namespace zenpo
