// URL to local path on any URL: the path never leaves the download directory, and no name
// in it is empty, "." or "..", or over the system's name limit.
#include <cstdint>

#include "engine/local_path.h"
#include "fuzz/fuzz_home.h"
#include "platform/files.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zenpo;
  using fuzz::Check;
  if (size == 0) return 0;
  // The first byte chooses mkdir; the download directory is missing, so nothing is made.
  const std::string dir = "/nonexistent-zenpo-fuzz/dl";
  const std::wstring url = platform::FromCodePage(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  std::wstring wide;
  if (!MakeLocalPath(platform::PathFromSystem(dir), UrlPieces(url), (data[0] & 1) != 0, &wide)) return 0;
  const std::string path = platform::NarrowPath(wide);
  Check(path.starts_with(dir + "/"), "the path lies in the download directory");
  for (std::size_t start = dir.size() + 1, end; start <= path.size(); start = end + 1) {
    end = std::min(path.find('/', start), path.size());
    const std::string name = path.substr(start, end - start);
    Check(!name.empty() && name != "." && name != "..", "every name is a plain name");
    Check(name.size() <= platform::kMaxNameBytes, "no name is over the system's limit");
  }
  return 0;
}
