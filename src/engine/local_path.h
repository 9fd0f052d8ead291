// Where a URL lands on disk: its pieces, their display line, the safe file and directory
// names made from them, and the local path under the download directory.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zenpo {

// At most this many pieces of a URL after its scheme count; later ones are ignored.
constexpr std::size_t kMaxUrlPieces = 50;
// Each file or directory name is cut to this many characters, and further to whole
// characters within the system's name limit (platform::kMaxNameBytes).
constexpr std::size_t kMaxPathPieceChars = 128;

// The pieces of url after its scheme split at "/" (SplitPieces: no piece is empty), at
// most kMaxUrlPieces: the host (with its port), the directories and, last, the file
// name. A URL without a path keeps only its host, which is then also the file name.
std::vector<std::wstring> UrlPieces(std::wstring_view url);

// The display form of the pieces: the scheme ("http://" or "https://") and every piece
// followed by " /", without the final slash, so the line ends in a space where a window
// may wrap it. A byte of the list that forms no character shows as U+FFFD.
std::wstring FormatUrlLine(const std::vector<std::wstring>& pieces,
                           std::wstring_view scheme = L"http://");

// Replaces each of , ; : * ? < > | " in name by #, in place.
void SanitizeFileName(std::wstring& name);

// The file or directory name made from one URL piece: sanitized, cut to
// kMaxPathPieceChars and the system's name limit, and never a name the file system
// reads as anything but a plain name below its parent: separators and NUL become #, and
// a name of only dots (and spaces) has its dots replaced, so "." and ".." never step out
// of the download directory.
std::wstring LocalPathPiece(std::wstring piece);

// The local path of the pieces under dir: one directory per piece but the last when
// make_dirs is set, else the file directly in dir. False, with nothing created, when
// there is no piece or the path is beyond the system's path limit. Directories are
// created (existing ones and failures are ignored: a missing directory surfaces when the
// file is opened).
bool MakeLocalPath(const std::wstring& dir, const std::vector<std::wstring>& pieces,
                   bool make_dirs, std::wstring* path);

}  // namespace zenpo
