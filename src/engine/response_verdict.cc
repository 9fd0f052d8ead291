// The evaluation of a response's head.
#include "engine/response_verdict.h"

#include <cstdlib>

#include "engine/elapsed_ms.h"
#include "engine/response_sizes.h"
#include "fields/decimal.h"

namespace zenpo {
namespace {

// Times within this many milliseconds count as the same Last-Modified.
constexpr std::int64_t kSameDateMs = 1000;

ResponseVerdict Ends(ResponseVerdict v, ResultCode code) {
  v.code = code;
  v.plan = BodyPlan::kNone;
  return v;
}

ResponseVerdict Writes(ResponseVerdict v, BodyPlan plan, std::int64_t offset) {
  v.plan = plan;
  v.offset = offset;
  return v;
}

}  // namespace

ResponseVerdict EvaluateResponse(const ResponseHead& head) {
  const std::int64_t local = head.local_size;
  const std::int64_t status = ReadDecimal(head.status);
  ResponseVerdict v;
  v.resume_ok = !head.content_range.empty();
  ContentRange range;
  const bool range_ok = v.resume_ok && ParseContentRange(head.content_range, &range);
  const std::int64_t range_total = v.resume_ok ? ContentRangeTotal(head.content_range) : 0;
  v.expected = ExpectedSize(range_ok ? range.first : local, v.resume_ok, range_total,
                            ReadDecimal(head.content_length));
  // The size the answer gives the server's file: a success describes the file, an error
  // only through a Content-Range total (416 "bytes */500").
  const std::int64_t stated = status < 300 ? v.expected : range_total;

  if (head.last_modified != 0 && stated <= local &&
      std::llabs(ElapsedMs(head.local_time, head.last_modified)) <= kSameDateMs) {
    return Ends(v, rc::kSameDate);
  }
  if (v.expected > 0 && local == v.expected) return Ends(v, rc::kSameSize);

  if (status == 416) {
    // A range beyond the end of a server file smaller than the local one: the local file
    // is not the server's, so it is asked for again from its start.
    if (!head.started_over && range_total > 0 && local > range_total) {
      return Writes(v, BodyPlan::kAskAgain, 0);
    }
    // Refused from byte 0, or below the size the server itself states: nothing here is
    // complete.
    if (head.started_over || range_total > local) return Ends(v, rc::kHttpError);
    return Ends(v, rc::kRangeBeyondEnd);
  }
  if (status >= 300) return Ends(v, rc::kHttpError);

  if (v.resume_ok || status == 206) {
    // A partial body belongs where its range says: at the local end it continues the
    // file, from byte 0 it replaces it; anywhere else, or with no readable range, it
    // would leave a gap or a doubled piece.
    if (!range_ok) return Ends(v, rc::kHttpError);
    if (range.first == local) return Writes(v, BodyPlan::kAppend, local);
    if (range.first == 0) return Writes(v, BodyPlan::kStartOver, 0);
    return Ends(v, rc::kHttpError);
  }
  // A whole-file answer replaces a local file of another size.
  if (local != v.expected) return Writes(v, BodyPlan::kStartOver, 0);
  return Writes(v, BodyPlan::kAppend, local);
}

}  // namespace zenpo
