// ExitStatusFor: the table of statuses for codes that do not fit 8 bits.
#include "app/exit_status.h"

namespace zenpo {

int ExitStatusFor(ResultCode code) {
  if (code >= 0 && code <= 255) return code;
  switch (code) {
    case rc::kFileInUse: return 30;
    case rc::kReadTimeout: return 40;
    case rc::kReadFailed: return 50;
    case rc::kTransferShort: return 60;
    case rc::kInProgress: return 89;
    case rc::kDownloaded: return 90;
    case rc::kSameDate: return 91;
    case rc::kSameSize: return 92;
    case rc::kRangeBeyondEnd: return 93;
    default: return 255;
  }
}

}  // namespace zenpo
