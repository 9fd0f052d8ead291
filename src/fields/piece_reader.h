// Files of lines read in pieces of a fixed size, as the settings file and the list are
// read: a line longer than one piece is read as several, and a byte-order mark that an
// editor put first belongs to no piece.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string_view>
#include <vector>

namespace zenpo {

// The UTF-8 byte-order mark.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The piece sizes of the two files, line feed included; each reader has the line buffer
// of its own file, so a settings line and a list line are cut at different lengths.
constexpr std::size_t kSettingsPieceBytes = 521;
constexpr std::size_t kListPieceBytes = 6692;

struct Piece {
  std::string_view bytes;   // valid until the reader's next Next()
  bool starts_line = true;  // false for the rest of a line longer than one piece
  bool ends_line = true;    // the line ends in this piece (a line feed, or the file's end)
};

// The text of a piece: its bytes without one trailing line feed and a carriage return
// before it.
std::string_view LineText(std::string_view bytes);

// Reads a file as pieces through a large buffer: no allocation per piece, and every byte
// (zero bytes included) lands in exactly one piece. Used by one thread.
class PieceReader {
 public:
  PieceReader(std::FILE* in, std::size_t piece_bytes);

  // Takes a byte-order mark off the start of the file and returns it, or "" when there is
  // none. Next() calls it when nobody did.
  std::string_view TakeByteOrderMark();

  // The next piece: up to and including a line feed, or piece_bytes bytes, or what is left
  // at the end of the file. False at the end of the file or on a read error.
  bool Next(Piece* piece);
  // Whether reading stopped at an error rather than at the end of the file.
  bool failed() const { return failed_; }

 private:
  bool Fill();

  std::FILE* in_;
  std::size_t piece_bytes_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool eof_ = false;
  bool failed_ = false;
  bool at_line_start_ = true;
  bool started_ = false;
  bool byte_order_mark_ = false;
};

}  // namespace zenpo
