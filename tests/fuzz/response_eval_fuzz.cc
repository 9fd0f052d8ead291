// Input: text lines "local size", "started over (0/1)", "local time", "Last-Modified
// time", "status", "Content-Range", "Content-Length"; missing lines count as empty.
#include <cstdint>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "engine/response_verdict.h"
#include "fuzz/fuzz_home.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  std::vector<std::string> lines(7);
  for (std::string& line : lines) std::getline(in, line);
  auto number = [](const std::string& text) { return std::strtoll(text.c_str(), nullptr, 10); };
  auto wide = [](const std::string& text) { return std::wstring(text.begin(), text.end()); };
  // The head holds views: the texts must outlive it.
  const std::wstring status = wide(lines[4]), range = wide(lines[5]), length = wide(lines[6]);
  const ResponseHead head{.local_size = std::max(number(lines[0]), 0LL),
                          .local_time = static_cast<platform::FileTime>(number(lines[2])),
                          .last_modified = static_cast<platform::FileTime>(number(lines[3])),
                          .status = status, .content_range = range, .content_length = length,
                          .started_over = lines[1] == "1"};
  const ResponseVerdict v = EvaluateResponse(head);

  if (v.plan == BodyPlan::kAppend) Check(v.offset == head.local_size, "appends only at the local size");
  if (v.plan == BodyPlan::kStartOver || v.plan == BodyPlan::kAskAgain) Check(v.offset == 0, "start-over from 0");
  const bool complete = v.code == rc::kSameDate || v.code == rc::kSameSize || v.code == rc::kRangeBeyondEnd;
  // Totals of up to 18 digits, which no 64-bit size overflows.
  static const std::regex readable(R"( *bytes +(\*|\d+-\d+)/(\d{1,18}))");
  std::smatch m;
  if (complete && std::regex_match(lines[5], m, readable))
    Check(head.local_size >= std::stoll(m[2]), "never complete below the Content-Range total");
  return 0;
}
