// Choosing the next entry to download: one rewrite pass that marks the first eligible
// line in progress (899) and hands its URL and options to the download cycle.
#pragma once

#include <string>

#include "report/result_codes.h"

namespace zenpo {

// The chosen entry. authorization is ready for "Authorization: Basic ": the Base64 form
// of "Authid=", or "AuthidE=" as written. Options the line does not give stay empty.
struct SelectedEntry {
  std::wstring url, agent, referer, authorization, cookie;
};

// Chooses the first line in file order whose status is new, below 130 or from 200 to
// 898, marks it 899 in the same pass and fills entry (which the caller passes emptied).
// Returns 120 when the pass completed, with an empty url when nothing was eligible; the
// in-use and failure codes 121 and 110 to 114 of the rewrite pass; or 102. When the list
// was put back unchanged (121, 110 to 112) url stays empty; after 113 or 114 an entry may
// already be chosen and marked in the new list: the caller starts a job whenever url is
// not empty. A URL longer than the 1024 characters its consumers hold is never chosen;
// longer option values are cut to their capacities. Both are logged. Called by the
// download cycle between jobs; safe from any thread.
ResultCode SelectNextEntry(SelectedEntry* entry);

}  // namespace zenpo
