// URL to local path on any URL: the path never leaves the download directory, no name in
// it is empty, "." or "..", and none is over the system's name limit.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/local_path.h"
#include "fuzz/fuzz_home.h"
#include "platform/files.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zenpo;
  using fuzz::Check;
  if (size == 0) return 0;
  // The first byte chooses mkdir; the download directory is missing, so nothing is made.
  const bool make_dirs = (data[0] & 1) != 0;
  const std::string dir = "/nonexistent-zenpo-fuzz/dl";
  const std::wstring url =
      platform::FromCodePage(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  const std::vector<std::wstring> pieces = UrlPieces(url);
  LocalPath path;
  if (!MakeLocalPath(platform::PathFromSystem(dir), pieces, make_dirs, &path)) {
    // Refused only without pieces or beyond the system's path limit.
    std::size_t bytes = dir.size();
    for (std::size_t i = make_dirs ? 0 : pieces.size() - 1; i < pieces.size(); ++i) {
      bytes += 1 + platform::NarrowPath(LocalPathPiece(pieces[i])).size();
    }
    Check(pieces.empty() || bytes > platform::kMaxPathBytes, "only a path that cannot be is refused");
    return 0;
  }
  Check(path.narrow == platform::NarrowPath(path.wide), "the path's twins agree");
  Check(path.narrow.size() <= platform::kMaxPathBytes, "the path fits the system's limit");
  Check(path.narrow.starts_with(dir + "/"), "the path lies in the download directory");
  std::size_t names = 0;
  for (std::size_t start = dir.size() + 1; start <= path.narrow.size(); ++names) {
    std::size_t end = path.narrow.find('/', start);
    if (end == std::string::npos) end = path.narrow.size();
    const std::string name = path.narrow.substr(start, end - start);
    Check(!name.empty() && name != "." && name != "..", "every name is a plain name");
    Check(name.size() <= platform::kMaxNameBytes, "no name is over the system's limit");
    start = end + 1;
  }
  Check(names == (make_dirs ? pieces.size() : 1), "one name per piece, or the file alone");
  return 0;
}
