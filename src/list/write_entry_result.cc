// WriteEntryResult: the write-back's line rule.
#include "list/write_entry_result.h"

#include "config/settings.h"
#include "fields/decimal.h"
#include "list/list_entry.h"
#include "list/rewrite_list.h"

namespace zenpo {

ResultCode WriteEntryResult(std::wstring_view url, ResultCode code) {
  const bool drop_complete = AppSettings.dellist != 0 && code >= rc::kDownloaded;
  bool dropping_line = false;  // the rest of a dropped over-long line goes with it
  const LineRule rule = [&](const ListLine& line) -> LineEdit {
    if (!line.starts_line()) return dropping_line ? LineEdit::Drop() : LineEdit::Keep();
    dropping_line = false;
    const ListFields fields = SplitListFields(line.parse());
    // A line without fields is no entry of any URL, not even of an empty one.
    if (fields.count == 0) return LineEdit::Keep();
    const std::wstring_view line_url = fields.field[fields.count >= 2 ? 1 : 0];
    if (line_url != url || line.Cuts(line_url)) return LineEdit::Keep();
    if (drop_complete) {
      dropping_line = true;
      return LineEdit::Drop();
    }
    const std::int32_t status = fields.count >= 2 ? ReadDecimal32(fields.field[0]) : 0;
    return LineEdit::Mark(code, line.StatusColumnBytes(fields, status));
  };
  return RewriteList(rule, kWriteBackCodes);
}

}  // namespace zenpo
