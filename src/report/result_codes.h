// The system's one vocabulary of outcomes: every ResultCode with its number, and the
// ranges that decide whether an entry is chosen again and whether the program goes on.
// The numbers are stored in the list file, so they never change.
#pragma once

#include <cstdint>

namespace zenpo {

using ResultCode = std::int32_t;

namespace rc {
// Conditions of the whole program.
constexpr ResultCode kUserAbort = 101;
constexpr ResultCode kLogUnusable = 102;
constexpr ResultCode kRestart = 103;
constexpr ResultCode kNoNetwork = 104;
constexpr ResultCode kInetInitFailed = 105;
// Choosing the next entry (the rewrite pass with the selection codes).
constexpr ResultCode kSelectSetupFailed = 110;
constexpr ResultCode kSelectOpenFailed = 111;
constexpr ResultCode kSelectWriteFailed = 112;
constexpr ResultCode kSelectReleaseFailed = 113;
constexpr ResultCode kSelectDeleteFailed = 114;
constexpr ResultCode kSelectDone = 120;
constexpr ResultCode kSelectInUse = 121;
// Final failures of one download.
constexpr ResultCode kRequestFailed = 132;
constexpr ResultCode kHttpError = 133;
constexpr ResultCode kClearFailed = 134;
constexpr ResultCode kOutputOpenFailed = 135;
constexpr ResultCode kFileTooLarge = 136;
constexpr ResultCode kTimeOpenFailed = 137;
constexpr ResultCode kTimeSetFailed = 138;
// Writing a result back and appending a URL (selection codes + 40).
constexpr ResultCode kWriteSetupFailed = 150;
constexpr ResultCode kWriteOpenFailed = 151;
constexpr ResultCode kWriteWriteFailed = 152;
constexpr ResultCode kWriteReleaseFailed = 153;
constexpr ResultCode kWriteDeleteFailed = 154;
constexpr ResultCode kWriteDone = 160;
constexpr ResultCode kWriteInUse = 161;
// Passing failures of one download, tried again later.
constexpr ResultCode kRequestTimeout = 200;
// Another process of the program is writing the local file (the same URL on two lines).
constexpr ResultCode kFileInUse = 300;
constexpr ResultCode kReadTimeout = 400;
constexpr ResultCode kReadFailed = 500;
constexpr ResultCode kTransferShort = 600;
// The in-progress mark and the complete file.
constexpr ResultCode kInProgress = 899;
constexpr ResultCode kDownloaded = 900;
constexpr ResultCode kSameDate = 901;
constexpr ResultCode kSameSize = 902;
constexpr ResultCode kRangeBeyondEnd = 903;
}  // namespace rc

// Whether selection chooses an entry whose status column holds this value: new (0),
// below 130, or 200 to 898. Negative values compare as very large numbers.
constexpr bool IsChosenAgain(std::int64_t status) {
  const auto v = static_cast<std::uint32_t>(status);
  return v < 130 || (v >= 200 && v <= 898);
}

// Whether a job's result ends the program: 102 to 119 and 150 to 169.
constexpr bool JobResultEndsProgram(ResultCode code) {
  const auto v = static_cast<std::uint32_t>(code);
  return (v >= 102 && v <= 119) || (v >= 150 && v <= 169);
}

// Whether a selection that chose no entry ends the program: any result below 120.
constexpr bool SelectionEndsProgram(ResultCode code) {
  return static_cast<std::uint32_t>(code) < 120;
}

// Whether the program, ending with this last result, starts itself again (unless the
// user asked it to close).
constexpr bool ResultRestartsProgram(ResultCode code) { return code == rc::kRestart; }

// A write-back or append result that its caller retries: the list is in use.
constexpr bool IsRetriedListResult(ResultCode code) { return code >= rc::kWriteInUse; }

}  // namespace zenpo
