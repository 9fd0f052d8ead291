// ExitStatusFor: the table of statuses for codes that do not fit 8 bits.
#include "app/exit_status.h"

namespace zenpo {

int ExitStatusFor(ResultCode code) {
  if (code >= 0 && code <= 255) return code;
  switch (code) {
    case rc::kReadTimeout:
    case rc::kReadFailed:
    case rc::kTransferShort:
    case rc::kInProgress:
    case rc::kDownloaded:
    case rc::kSameDate:
    case rc::kSameSize:
    case rc::kRangeBeyondEnd:
      return code / 10;
    default:
      return 255;
  }
}

}  // namespace zenpo
