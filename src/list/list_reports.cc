// Failure reports of the list operations.
#include "list/list_reports.h"

#include "list/rename_lock.h"
#include "report/report_message.h"

namespace zenpo {

ResultCode ReportListResult(std::wstring_view text, int logLevel, int msgLevel,
                            ResultCode code) {
  return ReportMessage(text, logLevel, msgLevel) == rc::kLogUnusable ? rc::kLogUnusable : code;
}

ResultCode ReturnListAndReport(std::wstring_view text, ResultCode code,
                               std::wstring_view release_text) {
  const bool returned = ReturnListLock();
  if (ReportMessage(text, level::kFailure, level::kShown) == rc::kLogUnusable) {
    return rc::kLogUnusable;
  }
  if (!returned) return ReportListResult(release_text, level::kFailure, level::kShown, code);
  return code;
}

}  // namespace zenpo
