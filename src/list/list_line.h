// One line of the list as a rewrite pass reads it: its bytes exactly as stored and its
// wide parse copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fields/piece_reader.h"
#include "list/list_entry.h"

namespace zenpo {

// A piece of the list file (PieceReader with kListPieceBytes): each piece is handled as a
// line of its own, so an over-long line passes through unchanged. The bytes are what is
// written back; the parse copy is what is judged. Valid until the reader's next Next().
class ListLine {
 public:
  // Takes the next piece of the pass; the parse copy keeps its storage for the next line.
  void Reset(const Piece& piece) {
    piece_ = piece;
    converted_ = false;
  }

  std::string_view bytes() const { return piece_.bytes; }
  // False for the rest of a line longer than one piece: such a piece is never an entry,
  // since a status put in front of it would land in the middle of the user's line.
  bool starts_line() const { return piece_.starts_line; }
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
  Piece piece_;
  mutable bool converted_ = false;
  mutable std::wstring parse_;
};

}  // namespace zenpo
