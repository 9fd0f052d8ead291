// What the engine makes of a response's head, decided from the head alone: the file is
// already complete, the answer is refused, the file is asked for again from its start, or
// the body is taken and written at a given offset.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/clock.h"
#include "report/result_codes.h"

namespace zenpo {

struct ResponseHead {
  std::int64_t local_size = 0;           // the size the request asked to resume from
  platform::FileTime local_time = 0;     // 0 for an absent file
  platform::FileTime last_modified = 0;  // 0 without a usable Last-Modified
  std::wstring_view status;              // the status code as text
  std::wstring_view content_range;       // "" when absent
  std::wstring_view content_length;      // "" when absent
  bool started_over = false;             // the file was emptied for this download already
};

enum class BodyPlan {
  kNone,       // the download ends with the verdict's code
  kAppend,     // the body goes on at the end of the local file
  kStartOver,  // the local file is emptied and the body written from its start
  kAskAgain,   // the local file is emptied and asked for again from byte 0
};

struct ResponseVerdict {
  ResultCode code = 0;  // 0 unless plan is kNone
  BodyPlan plan = BodyPlan::kNone;
  std::int64_t offset = 0;    // where the body's first byte goes
  std::int64_t expected = 0;  // the server's full size, 0 when unknown
  bool resume_ok = false;     // the answer carries a Content-Range
};

// Decides in the order the engine reports: same date (901), same size (902), the
// status (903, 133), then where the body goes. A file is never called complete while the
// answer states a larger size for it, and a body is only written where it belongs: a
// partial answer at the local size or from byte 0, a whole one from byte 0.
ResponseVerdict EvaluateResponse(const ResponseHead& head);

}  // namespace zenpo
