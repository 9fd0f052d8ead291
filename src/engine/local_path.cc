// URL pieces, safe names and local paths.
#include "engine/local_path.h"

#include "fields/split.h"
#include "platform/files.h"
#include "platform/text.h"

namespace zenpo {

std::vector<std::wstring> UrlPieces(std::wstring_view url) {
  std::wstring_view pieces[kMaxUrlPieces + 1];  // the scheme first
  const std::size_t count = SplitPieces(url, L'/', pieces);
  if (count == 0) return {};
  return std::vector<std::wstring>(pieces + 1, pieces + count);
}

std::wstring FormatUrlLine(const std::vector<std::wstring>& pieces, std::wstring_view scheme) {
  std::wstring line(scheme);
  for (const std::wstring& piece : pieces) {
    line += piece;
    line += L" /";
  }
  line.pop_back();
  return platform::ShownText(line);
}

void SanitizeFileName(std::wstring& name) {
  for (wchar_t& c : name) {
    if (std::wstring_view(L",;:*?<>|\"").find(c) != std::wstring_view::npos) c = L'#';
  }
}

std::wstring LocalPathPiece(std::wstring piece) {
  SanitizeFileName(piece);
  // Before the cut, so that a "#" put in front of a device name stays within the limits.
  platform::MakeOrdinaryName(piece);
  if (piece.size() > kMaxPathPieceChars) piece.resize(kMaxPathPieceChars);
  for (wchar_t& c : piece) {
    if (c == platform::kPathSeparator || c == L'\\' || c == L'/' || c == L'\0') c = L'#';
  }
  // 128 characters may be more bytes than one name may take: whole characters go until
  // it fits, so the name stays text and opens.
  std::size_t bytes = 0, fit = 0;
  while (fit < piece.size()) {
    bytes += platform::NarrowPath(piece.substr(fit, 1)).size();
    if (bytes > platform::kMaxNameBytes) break;
    ++fit;
  }
  piece.resize(fit);
  // Some file systems drop trailing dots and spaces, so ". ." or "..." may read as a step.
  if (piece.find_first_not_of(L". ") == std::wstring::npos) {
    for (wchar_t& c : piece) {
      if (c == L'.') c = L'#';
    }
  }
  // The cut may have left a trailing dot or space.
  platform::MakeOrdinaryName(piece);
  return piece;
}

bool MakeLocalPath(const std::wstring& dir, const std::vector<std::wstring>& pieces,
                   bool make_dirs, std::wstring* path) {
  if (pieces.empty()) return false;
  std::wstring base = dir;
  if (base.empty() || base.back() != platform::kPathSeparator) base += platform::kPathSeparator;
  std::vector<std::wstring> dirs;
  std::wstring wide = base;
  if (make_dirs) {
    for (std::size_t i = 0; i + 1 < pieces.size(); ++i) {
      wide += LocalPathPiece(pieces[i]);
      dirs.push_back(wide);
      wide += platform::kPathSeparator;
    }
  }
  wide += LocalPathPiece(pieces.back());
  // A cut path would name another file.
  if (platform::NarrowPath(wide).size() > platform::kMaxPathBytes) return false;
  for (const std::wstring& d : dirs) platform::MakeDirectory(d);
  *path = std::move(wide);
  return true;
}

}  // namespace zenpo
