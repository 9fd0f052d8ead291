// Writing a download's result back into the list: every line of the URL gets the code.
#pragma once

#include <string_view>

#include "report/result_codes.h"

namespace zenpo {

// Gives every line whose compare field (the second field, or the only one) equals url
// the status code, in place of its old status; with the dellist setting on and a code of
// 900 or more those lines leave the list instead. Other lines stay byte for byte.
// Returns 160, the in-use code 161 (the caller retries), 150 to 154 of the rewrite pass,
// or 102. Called by the job thread; safe from any thread.
ResultCode WriteEntryResult(std::wstring_view url, ResultCode code);

}  // namespace zenpo
