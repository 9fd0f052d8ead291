// The rewrite pass: the one way a party replaces the whole list, under the rename lock,
// through the working copies "!ZENPO.txt" (the old list) and "!!ZENPO.txt" (the new one).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

#include "list/list_line.h"
#include "report/result_codes.h"

namespace zenpo {

// What a line rule writes for one line: its bytes unchanged, a new status column followed
// by its bytes without the old one, or nothing.
struct LineEdit {
  enum class Kind { kKeep, kMark, kDrop };
  Kind kind = Kind::kKeep;
  std::int32_t status = 0;        // kMark: written as "%3d|"
  std::size_t dropped_bytes = 0;  // kMark: leading bytes (the old status) left out

  static LineEdit Keep() { return {}; }
  static LineEdit Drop() { return {Kind::kDrop, 0, 0}; }
  static LineEdit Mark(std::int32_t status, std::size_t dropped_bytes) {
    return {Kind::kMark, status, dropped_bytes};
  }
};

// Called once for every piece of the list, in file order, on the calling thread.
using LineRule = std::function<LineEdit(const ListLine& line)>;

// The result codes of one caller of the pass, step by step, and its open message.
struct RewriteCodes {
  ResultCode in_use;   // the lock is held by another party or the list is missing
  ResultCode setup;    // the new list cannot be created
  ResultCode open;     // the locked list cannot be opened or read
  ResultCode write;    // the new list cannot be opened for appending or written
  ResultCode release;  // the new list cannot be given the list's name
  ResultCode remove;   // the old list cannot be deleted
  ResultCode done;
  const wchar_t* open_message;
};
extern const RewriteCodes kSelectionCodes;  // 121, 110 to 114, 120
extern const RewriteCodes kWriteBackCodes;  // 161, 150 to 154, 160

// Runs one pass: takes the lock, copies the list line by line through rule into a new
// list, puts the new list in place and deletes the old one. Returns codes.done, or the
// code of the failed step after its report, or 102 when a report could not be logged.
// A failure before the new list is in place (the read or write failing midway included)
// gives the unchanged list its name back; a failure to put the new list in place leaves
// both copies under their working names; a failure to delete leaves the old copy. The
// new list keeps the old one's permission bits and owner, and is flushed to the disk,
// its rename too, before the old copy is deleted. A list that is a symbolic link stays
// one: its target gets the new content. Safe from any thread; parties exclude each other
// through the rename lock only.
// When complete is given it tells whether the new list was written in full, so that the
// old list was not put back (the done, release and delete outcomes); a result of 102
// alone does not tell.
ResultCode RewriteList(const LineRule& rule, const RewriteCodes& codes,
                       bool* complete = nullptr);

}  // namespace zenpo
