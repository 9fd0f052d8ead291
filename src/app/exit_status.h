// The process exit status for the program's last result code. A POSIX exit status holds
// 8 bits, so codes above 255 get statuses of their own that no other code uses.
#pragma once

#include "report/result_codes.h"

namespace zenpo {

// Codes 0 to 255 stay as they are. 400, 500 and 600 become 40, 50 and 60; 899 and
// 900 to 903 become 89 and 90 to 93. Any other code above 255 (none is produced)
// becomes 255.
int ExitStatusFor(ResultCode code);

}  // namespace zenpo
