// Fuzzes the evaluation of a response's head against what must hold whatever a server
// sends: a body is appended only at the local size, a partial body goes only where its
// own range puts it, a whole body never lands after old bytes, and a file is never
// called complete below the size the answer states for it.
//
// Input: text lines "local size", "started over (0/1)", "local time", "Last-Modified
// time", "status", "Content-Range", "Content-Length"; missing lines count as empty.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/response_verdict.h"

namespace {

using zenpo::BodyPlan;

// Plain digits only, without overflow; nullopt otherwise.
std::optional<std::int64_t> Digits(std::string_view text) {
  std::int64_t value = 0;
  if (text.empty()) return std::nullopt;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text[0] == '-') {
    return std::nullopt;
  }
  return value;
}

// "bytes A-B/T", "bytes A-B/*" (total -1) or "bytes */T" (first -1), read strictly.
struct StrictRange {
  std::int64_t first = -1, last = -1, total = -1;
};
// Blanks around the unit carry no meaning.
std::optional<StrictRange> ReadRange(std::string_view text) {
  auto skip_blanks = [&text] {
    text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
  };
  skip_blanks();
  if (text.substr(0, 6) != "bytes ") return std::nullopt;
  text.remove_prefix(6);
  skip_blanks();
  const std::size_t slash = text.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  StrictRange r;
  const std::string_view span = text.substr(0, slash), total = text.substr(slash + 1);
  if (total != "*") {
    auto t = Digits(total);
    if (!t) return std::nullopt;
    r.total = *t;
  }
  if (span == "*") return r.total >= 0 ? std::optional(r) : std::nullopt;
  const std::size_t dash = span.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  auto first = Digits(span.substr(0, dash)), last = Digits(span.substr(dash + 1));
  if (!first || !last) return std::nullopt;
  r.first = *first;
  r.last = *last;
  return r;
}

void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> lines(7);
  std::size_t line = 0;
  for (std::size_t i = 0; i < size && line < lines.size(); ++i) {
    if (data[i] == '\n') {
      ++line;
    } else {
      lines[line] += static_cast<char>(data[i]);
    }
  }
  auto number = [](const std::string& text) {
    std::int64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
  };
  // Each byte stands for one character, as a header's text reaches the engine.
  auto wide = [](const std::string& text) { return std::wstring(text.begin(), text.end()); };
  const std::int64_t local = number(lines[0]) < 0 ? 0 : number(lines[0]);
  const bool started_over = lines[1] == "1";
  const std::wstring status = wide(lines[4]), range = wide(lines[5]), length = wide(lines[6]);

  zenpo::ResponseHead head;
  head.local_size = local;
  head.started_over = started_over;
  head.local_time = static_cast<zenpo::platform::FileTime>(number(lines[2]));
  head.last_modified = static_cast<zenpo::platform::FileTime>(number(lines[3]));
  head.status = status;
  head.content_range = range;
  head.content_length = length;
  const zenpo::ResponseVerdict v = zenpo::EvaluateResponse(head);

  Check((v.code == 0) == (v.plan != BodyPlan::kNone), "a code exactly when nothing is written");
  Check(v.expected >= 0, "the expected size is never negative");
  if (v.plan == BodyPlan::kAppend) Check(v.offset == local, "appends only at the local size");
  if (v.plan == BodyPlan::kStartOver || v.plan == BodyPlan::kAskAgain) {
    Check(v.offset == 0, "a start-over writes from byte 0");
  }
  if (v.plan == BodyPlan::kAskAgain) Check(!started_over, "asks again only once");

  const std::optional<std::int64_t> status_code = Digits(lines[4]);
  const std::optional<StrictRange> strict = ReadRange(lines[5]);
  const bool partial = !lines[5].empty() || status_code == 206;
  if (partial && (v.plan == BodyPlan::kAppend || v.plan == BodyPlan::kStartOver)) {
    Check(strict && strict->first >= 0 && strict->first <= strict->last &&
              (strict->total < 0 || strict->last < strict->total),
          "a partial body is written only with a readable range");
    Check(strict->first == v.offset, "a partial body goes where its range starts");
  }
  if (!partial && v.plan == BodyPlan::kAppend) {
    Check(local == 0, "a whole body never follows old bytes");
  }

  const bool complete = v.code == zenpo::rc::kSameDate || v.code == zenpo::rc::kSameSize ||
                        v.code == zenpo::rc::kRangeBeyondEnd;
  if (complete && strict && strict->total >= 0) {
    Check(local >= strict->total, "never complete below the Content-Range total");
  }
  const std::optional<std::int64_t> content_length = Digits(lines[6]);
  if (complete && status_code && *status_code < 300 && lines[5].empty() && content_length) {
    Check(local >= *content_length, "never complete below a success's Content-Length");
  }
  return 0;
}
