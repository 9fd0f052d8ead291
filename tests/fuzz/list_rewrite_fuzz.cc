// The rewrite pass on any list file: a pass that changes no status writes the same bytes,
// and so does a selection that chooses nothing.
#include <cstdint>

#include "fuzz/fuzz_home.h"
#include "list/rewrite_list.h"
#include "list/select_next_entry.h"
#include "platform/files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::QuietDefaults();
  const std::string list(reinterpret_cast<const char*>(data), size);
  const std::string path = platform::NarrowPath(ProgramPaths.ListPath);
  test::WriteFile(path, list);
  Check(RewriteList([](const ListLine&) { return LineEdit::Keep(); }, kWriteBackCodes) == rc::kWriteDone, "the pass completes");
  Check(test::ReadFile(path) == list, "a pass that changes no status writes the same bytes");
  SelectedEntry entry;
  Check(SelectNextEntry(&entry) == rc::kSelectDone, "the selection completes");
  Check(!entry.url.empty() || test::ReadFile(path) == list, "a selection of nothing writes the same bytes");
  return 0;
}
