// The HTTP client on Windows: WinINet itself, each operation one library call. The
// shared handle only remembers that it was closed, so a second close fails as the
// interface says; everything else is the library's own behaviour.
#include <windows.h>
#include <wininet.h>

// The interface names the operations as the library does; use the library's W forms.
#undef InternetOpen
#undef InternetOpenUrl
#undef InternetSetOption
#undef HttpQueryInfo

#include <atomic>
#include <string>
#include <vector>

#include "platform/inet.h"
#include "platform/text.h"

namespace zenpo::platform {

class InternetObject {
 public:
  explicit InternetObject(::HINTERNET handle) : handle_(handle) {}
  ~InternetObject() {
    if (!closed_.exchange(true)) ::InternetCloseHandle(handle_);
  }
  // Null once closed: calls made afterwards fail without touching the library.
  ::HINTERNET get() const { return closed_.load() ? nullptr : handle_; }
  bool Close() { return !closed_.exchange(true) && ::InternetCloseHandle(handle_) != 0; }
  // Where a request's reads land; grown to the largest read once, not per read.
  std::vector<char>& read_buffer() { return read_buffer_; }
  // On a root handle: its opens follow redirects between http and https.
  std::atomic<bool>& follow_scheme_changes() { return follow_scheme_changes_; }

 private:
  ::HINTERNET handle_;
  std::vector<char> read_buffer_;
  std::atomic<bool> closed_{false};
  std::atomic<bool> follow_scheme_changes_{false};
};

namespace {

::HINTERNET Raw(const HINTERNET& h) { return h ? h->get() : nullptr; }

HINTERNET Wrap(::HINTERNET handle) {
  return handle != nullptr ? std::make_shared<InternetObject>(handle) : nullptr;
}

// The calling thread's last open that failed to secure its connection; see
// InternetLastSecurityError.
thread_local std::wstring last_security_error;

// The library's errors on securing a connection, in words; "" for any other error.
std::wstring SecurityErrorText(DWORD error) {
  switch (error) {
    case ERROR_INTERNET_INVALID_CA:
      return L"the certificate's issuer is not trusted (12045)";
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
      return L"the certificate is made out to another host (12038)";
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
      return L"the certificate has expired or is not yet valid (12037)";
    case ERROR_INTERNET_SEC_CERT_REVOKED:
      return L"the certificate was revoked (12170)";
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
      return L"the certificate's revocation could not be checked (12057)";
    case ERROR_INTERNET_SEC_CERT_NO_REV:
      return L"the certificate has no revocation information (12056)";
    case ERROR_INTERNET_SEC_CERT_ERRORS:
      return L"the certificate has errors (12055)";
    case ERROR_INTERNET_SEC_INVALID_CERT:
      return L"the certificate is invalid (12169)";
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
      return L"the secure channel failed (12157)";
    case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED:
      return L"the server asks for a client certificate (12044)";
    default:
      return L"";
  }
}

}  // namespace

HINTERNET InternetOpen(std::wstring_view agent, InternetAccess access, std::wstring_view proxy,
                       std::wstring_view bypass) {
  const std::wstring a(agent), p(proxy), b(bypass);
  const bool via_proxy = access == InternetAccess::kProxy;
  return Wrap(::InternetOpenW(a.c_str(), static_cast<DWORD>(access),
                              via_proxy ? p.c_str() : nullptr, via_proxy ? b.c_str() : nullptr,
                              0));
}

bool InternetSetOption(const HINTERNET& root, int option, std::uint32_t value) {
  if (option == inet_option::kFollowSchemeChanges) {
    if (!Raw(root)) return false;
    root->follow_scheme_changes() = value != 0;
    return true;
  }
  DWORD v = value;
  return ::InternetSetOptionW(Raw(root), static_cast<DWORD>(option), &v, sizeof(v)) != 0;
}

HINTERNET InternetOpenUrl(const HINTERNET& root, std::wstring_view url, std::wstring_view headers) {
  // A byte of the list that forms no character goes out as that byte, percent-encoded.
  static const wchar_t kHex[] = L"0123456789ABCDEF";
  std::wstring u;
  for (wchar_t c : url) {
    if (!IsBytePlaceholder(c)) {
      u += c;
      continue;
    }
    const unsigned byte = static_cast<unsigned>(c - kBytePlaceholderBase);
    u += {L'%', kHex[byte >> 4], kHex[byte & 0x0F]};
  }
  const std::wstring h(headers);
  // No flag that ignores a certificate's errors: https URLs are verified by the library's
  // defaults against the system store.
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;  // 0x84000000
  if (root && root->follow_scheme_changes())
    flags |= INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP;
  last_security_error.clear();
  // A length of -1 lets the library measure the zero-terminated header block.
  ::HINTERNET request = ::InternetOpenUrlW(Raw(root), u.c_str(), h.empty() ? nullptr : h.c_str(),
                                          h.empty() ? 0 : static_cast<DWORD>(-1), flags, 0);
  if (request == nullptr) last_security_error = SecurityErrorText(GetLastError());
  return Wrap(request);
}

std::wstring InternetLastSecurityError() { return last_security_error; }

bool HttpQueryInfo(const HINTERNET& request, int info_level, std::wstring* text) {
  text->clear();
  std::vector<wchar_t> buffer(256, L'\0');
  for (;;) {
    DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (::HttpQueryInfoW(Raw(request), static_cast<DWORD>(info_level), buffer.data(), &bytes,
                         nullptr)) {
      text->assign(buffer.data(), bytes / sizeof(wchar_t));
      return true;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    buffer.assign(bytes / sizeof(wchar_t) + 1, L'\0');
  }
}

bool HttpQueryLastModified(const HINTERNET& request, CalendarTime* time) {
  SYSTEMTIME st = {};
  DWORD bytes = sizeof(st);
  if (!::HttpQueryInfoW(Raw(request), HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME, &st,
                        &bytes, nullptr)) {
    return false;
  }
  *time = CalendarTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond,
                       st.wMilliseconds};
  return true;
}

bool InternetReadFile(const HINTERNET& request, std::uint32_t size, const char** data,
                      std::uint32_t* read) {
  *data = nullptr;
  *read = 0;
  if (!request) return false;
  std::vector<char>& buffer = request->read_buffer();
  if (buffer.size() < size) buffer.resize(size);
  DWORD n = 0;
  if (::InternetReadFile(Raw(request), buffer.data(), size, &n) == 0) return false;
  *data = buffer.data();
  *read = n;
  return true;
}

bool InternetCloseHandle(const HINTERNET& handle) { return handle && handle->Close(); }

}  // namespace zenpo::platform
