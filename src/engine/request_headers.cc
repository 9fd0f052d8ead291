// Request identity and header block.
#include "engine/request_headers.h"

#include <algorithm>

namespace zenpo {
namespace {

void RemoveLineBreaks(std::wstring& text) {
  std::erase_if(text, [](wchar_t c) { return c == L'\r' || c == L'\n'; });
}

}  // namespace

RequestIdentity ChooseRequestIdentity(const std::wstring& url, RequestIdentity entry,
                                      const std::vector<HostProfile>& profiles,
                                      const AppSettingsRecord& settings) {
  RequestIdentity id = std::move(entry);
  id.credential.clear();
  for (const HostProfile& p : profiles) {
    if (p.host.empty() || url.find(p.host) == std::wstring::npos) continue;
    if (!p.Agent.empty() && id.agent.empty()) id.agent = p.Agent;
    if (!p.Referer.empty() && id.referer.empty()) id.referer = p.Referer;
    if (!p.Authid.empty() && id.authorization.empty()) id.credential = p.Authid;
  }
  if (id.agent.empty()) id.agent = settings.Agent;
  if (id.referer.empty()) id.referer = settings.Referer;
  if (id.credential.empty()) id.credential = settings.Authid;
  RemoveLineBreaks(id.agent);
  RemoveLineBreaks(id.referer);
  RemoveLineBreaks(id.authorization);
  RemoveLineBreaks(id.credential);
  return id;
}

std::wstring BuildHeaderBlock(const std::wstring& referer, std::int64_t local_size,
                              const std::wstring& authorization) {
  std::wstring block = L"Accept: */*\r\n";
  if (!referer.empty()) block += L"Referer: " + referer + L"\r\n";
  block += L"Range: bytes=" + std::to_wstring(local_size) + L"-\r\n";
  if (!authorization.empty()) block += L"Authorization: Basic " + authorization + L"\r\n";
  return block;
}

}  // namespace zenpo
