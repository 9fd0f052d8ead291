// Who a request says it is (user agent, Referer, credentials) and the header block it
// carries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/settings.h"
#include "fields/credential.h"

namespace zenpo {

struct RequestIdentity {
  std::wstring agent;
  std::wstring referer;
  // Already Base64-encoded; sent unchanged when not empty.
  std::wstring authorization;
  // Plain "user:password" text, encoded (EncodeCredential) only when authorization is empty.
  std::wstring credential;
};

// Completes the entry's agent, Referer and credential: every profile whose host occurs
// in url (case-sensitive) is looked at in order; the first with a value gives the agent
// and the Referer, the last with a value gives the credential, which applies only when
// the entry has no authorization of its own. What is still empty then comes from the
// settings. CR and LF are removed from every value, so none can add a header line.
RequestIdentity ChooseRequestIdentity(const std::wstring& url, RequestIdentity entry,
                                      const std::vector<HostProfile>& profiles,
                                      const AppSettingsRecord& settings);

// The request's header lines, each ending in CR LF: "Accept: */*", the Referer when
// there is one, "Range: bytes=<local_size>-" always (0 for a new file), and
// "Authorization: Basic <authorization>" when there is one.
std::wstring BuildHeaderBlock(const std::wstring& referer, std::int64_t local_size,
                              const std::wstring& authorization);

}  // namespace zenpo
