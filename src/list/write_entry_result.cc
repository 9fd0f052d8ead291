// WriteEntryResult: the write-back's line rule.
#include "list/write_entry_result.h"

#include "config/settings.h"
#include "list/list_entry.h"
#include "list/rewrite_list.h"

namespace zenpo {

ResultCode WriteEntryResult(std::wstring_view url, ResultCode code) {
  const bool drop_complete = AppSettings.dellist != 0 && code >= rc::kDownloaded;
  const LineRule rule = [&](const ListLine& line) -> LineEdit {
    if (!line.starts_line()) return LineEdit::Keep();
    const ListFields fields = SplitListFields(line.parse());
    // A line without fields is no entry of any URL, not even of an empty one.
    if (fields.count == 0) return LineEdit::Keep();
    if (fields.field[fields.count >= 2 ? 1 : 0] != url) return LineEdit::Keep();
    if (drop_complete) return LineEdit::Drop();
    const std::int32_t status = fields.count >= 2 ? ReadStatusValue(fields.field[0]) : 0;
    return LineEdit::Mark(code, line.StatusColumnBytes(fields, status));
  };
  return RewriteList(rule, kWriteBackCodes);
}

}  // namespace zenpo
