// One line of the list as a rewrite pass reads it: its bytes exactly as stored and its
// wide parse copy, and the reader that cuts the file into such lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "list/list_entry.h"

namespace zenpo {

// A line is read in pieces of at most this many bytes (line feed included); each piece
// is handled as a line of its own, so an over-long line passes through unchanged.
constexpr std::size_t kLinePieceBytes = 6692;

// A piece of the list file. The bytes are what is written back; the parse copy is what is
// judged. Owned by the ListLineReader that produced it and valid until its next Next().
class ListLine {
 public:
  std::string_view bytes() const { return bytes_; }
  // False for the rest of a line longer than one piece: such a piece is never an entry,
  // since a status put in front of it would land in the middle of the user's line.
  bool starts_line() const { return starts_line_; }
  // Whether field, a view into parse(), was cut by the end of the piece: the line goes on
  // in the next piece, so the field is not all there. A URL cut so is no URL of the line.
  bool Cuts(std::wstring_view field) const;
  // The bytes converted from the device code page, without the one trailing line feed
  // and a carriage return before it; conversion stops at a zero byte. Bytes that form no
  // character stay bytes (platform::PathFromSystem), so the URL keeps them on the wire
  // and in its local name, and lines that differ in any byte never match. Converted on
  // first use.
  std::wstring_view parse() const;

  // How many leading bytes a status replacement takes away: none when status is 0, else
  // the old status field up to and including its bar (the four bytes "%3d|" as the
  // system writes it, or a hand-written status of any width, never bytes of the URL).
  // fields must come from parse().
  std::size_t StatusColumnBytes(const ListFields& fields, std::int32_t status) const;

 private:
  friend class ListLineReader;
  std::string_view bytes_;
  bool starts_line_ = true;
  bool ends_line_ = true;
  mutable bool converted_ = false;
  mutable std::wstring parse_;
};

// Reads a list file as ListLines through a large buffer: no allocation per line, and
// every byte (zero bytes included) lands in exactly one piece. Used by one thread.
class ListLineReader {
 public:
  explicit ListLineReader(std::FILE* in);

  // Takes a UTF-8 byte-order mark (which editors may put first) off the start of the
  // file, so that it belongs to no line, and returns it, or "" when there is none. Next()
  // calls it when nobody did.
  std::string_view TakeByteOrderMark();

  // The next piece: up to and including a line feed, or kLinePieceBytes bytes, or what is
  // left at the end of the file. False at the end of the file or on a read error.
  bool Next(ListLine* line);
  // Whether reading stopped at an error rather than at the end of the file.
  bool failed() const { return failed_; }

 private:
  bool Fill();

  std::FILE* in_;
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
