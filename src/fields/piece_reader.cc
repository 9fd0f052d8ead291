// The buffered piece reader.
#include "fields/piece_reader.h"

#include <algorithm>
#include <cstring>

namespace zenpo {
namespace {

// Large enough that a pass over a long list needs few reads.
constexpr std::size_t kReadBufferBytes = 256 * 1024;

}  // namespace

std::string_view LineText(std::string_view bytes) {
  if (bytes.ends_with('\n')) {
    bytes.remove_suffix(1);
    if (bytes.ends_with('\r')) bytes.remove_suffix(1);
  }
  return bytes;
}

// The buffer always holds a whole piece and the byte after it.
PieceReader::PieceReader(std::FILE* in, std::size_t piece_bytes)
    : in_(in), piece_bytes_(piece_bytes), buffer_(std::max(kReadBufferBytes, 2 * piece_bytes)) {}

bool PieceReader::Fill() {
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

std::string_view PieceReader::TakeByteOrderMark() {
  if (!started_) {
    started_ = true;
    while (end_ - begin_ < kByteOrderMark.size() && !eof_ && !failed_) Fill();
    if (std::string_view(buffer_.data() + begin_, end_ - begin_).starts_with(kByteOrderMark)) {
      begin_ += kByteOrderMark.size();
      byte_order_mark_ = true;
    }
  }
  return byte_order_mark_ ? kByteOrderMark : std::string_view();
}

bool PieceReader::Next(Piece* piece) {
  TakeByteOrderMark();
  const char* newline = nullptr;
  for (;;) {
    if (failed_) return false;
    const std::size_t available = end_ - begin_;
    const std::size_t window = std::min(available, piece_bytes_);
    newline = static_cast<const char*>(std::memchr(buffer_.data() + begin_, '\n', window));
    // One byte beyond a full piece tells whether the line goes on after it.
    if (newline != nullptr || available > piece_bytes_ || eof_) break;
    Fill();
  }
  std::size_t size = end_ - begin_;
  if (newline != nullptr) {
    size = static_cast<std::size_t>(newline - (buffer_.data() + begin_)) + 1;
  } else if (size > piece_bytes_) {
    size = piece_bytes_;
  }
  if (size == 0) return false;
  piece->bytes = std::string_view(buffer_.data() + begin_, size);
  piece->starts_line = at_line_start_;
  piece->ends_line = newline != nullptr || (eof_ && begin_ + size == end_);
  at_line_start_ = piece->bytes.back() == '\n';
  begin_ += size;
  return true;
}

}  // namespace zenpo
