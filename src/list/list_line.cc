// ListLine's parse copy and status column, and the buffered piece reader.
#include "list/list_line.h"

#include <cstring>

#include "platform/text.h"

namespace zenpo {
namespace {

// Large enough that a pass needs few reads; always holds at least one whole piece.
constexpr std::size_t kReadBufferBytes = 256 * 1024;
static_assert(kReadBufferBytes >= 2 * kLinePieceBytes);

}  // namespace

std::wstring_view ListLine::parse() const {
  if (!converted_) {
    std::string_view text = bytes_;
    if (text.ends_with('\n')) {
      text.remove_suffix(1);
      if (text.ends_with('\r')) text.remove_suffix(1);
    }
    platform::PathFromSystem(text, &parse_);
    converted_ = true;
  }
  return parse_;
}

bool ListLine::Cuts(std::wstring_view field) const {
  const std::wstring_view text = parse();
  return !ends_line_ && field.data() + field.size() == text.data() + text.size();
}

std::size_t ListLine::StatusColumnBytes(const ListFields& fields, std::int32_t status) const {
  if (status == 0 || fields.count < 2) return 0;
  const std::wstring_view text = parse();
  // The first field ends at a bar, since a second field follows it.
  const std::size_t bar = static_cast<std::size_t>(fields.field[0].data() - text.data()) +
                          fields.field[0].size();
  const std::string prefix = platform::PathToSystem(text.substr(0, bar + 1));
  if (bytes_.starts_with(prefix)) return prefix.size();
  // The field does not convert back to its bytes (an invalid sequence in it): its bar is
  // then found in the bytes themselves.
  const std::size_t first = bytes_.find_first_not_of('|');
  const std::size_t byte_bar = first == std::string_view::npos ? first : bytes_.find('|', first);
  return byte_bar == std::string_view::npos ? 0 : byte_bar + 1;
}

ListLineReader::ListLineReader(std::FILE* in) : in_(in), buffer_(kReadBufferBytes) {}

bool ListLineReader::Fill() {
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  const std::size_t n = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, in_);
  end_ += n;
  if (n == 0) {
    if (std::ferror(in_)) failed_ = true;
    eof_ = true;
  }
  return n > 0;
}

std::string_view ListLineReader::TakeByteOrderMark() {
  static constexpr std::string_view kMark = "\xEF\xBB\xBF";
  if (!started_) {
    started_ = true;
    while (end_ - begin_ < kMark.size() && !eof_ && !failed_) Fill();
    if (std::string_view(buffer_.data() + begin_, end_ - begin_).starts_with(kMark)) {
      begin_ += kMark.size();
      byte_order_mark_ = true;
    }
  }
  return byte_order_mark_ ? kMark : std::string_view();
}

bool ListLineReader::Next(ListLine* line) {
  TakeByteOrderMark();
  const char* newline = nullptr;
  for (;;) {
    if (failed_) return false;
    const std::size_t available = end_ - begin_;
    const std::size_t window = available < kLinePieceBytes ? available : kLinePieceBytes;
    newline = static_cast<const char*>(std::memchr(buffer_.data() + begin_, '\n', window));
    // One byte beyond a full piece tells whether the line goes on after it.
    if (newline != nullptr || available > kLinePieceBytes || eof_) break;
    Fill();
  }
  std::size_t size = end_ - begin_;
  if (newline != nullptr) {
    size = static_cast<std::size_t>(newline - (buffer_.data() + begin_)) + 1;
  } else if (size > kLinePieceBytes) {
    size = kLinePieceBytes;
  }
  if (size == 0) return false;
  line->bytes_ = std::string_view(buffer_.data() + begin_, size);
  line->starts_line_ = at_line_start_;
  line->ends_line_ = newline != nullptr || (eof_ && begin_ + size == end_);
  line->converted_ = false;
  at_line_start_ = line->bytes_.back() == '\n';
  begin_ += size;
  return true;
}

}  // namespace zenpo
