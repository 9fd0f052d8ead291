// The HTTP client: the six operations the download engine performs (open the library,
// set an option, open a URL, query the response, read the body, close a handle).
// Handles are shared: a handle stays valid while any call on it is still pending, so
// one thread may close a handle while another is blocked in a call on it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace zenpo::platform {

class InternetObject;  // a root handle or a request handle; private to the back end
using HINTERNET = std::shared_ptr<InternetObject>;

enum class InternetAccess { kDirect = 1, kProxy = 3 };

// Option numbers of InternetSetOption; values are 32-bit.
namespace inet_option {
constexpr int kConnectTimeout = 2;
constexpr int kConnectRetries = 3;
constexpr int kConnectBackoff = 4;
constexpr int kSendTimeout = 5;
constexpr int kReceiveTimeout = 6;
constexpr int kDataSendTimeout = 7;
constexpr int kDataReceiveTimeout = 8;
constexpr int kListenTimeout = 11;
constexpr int kFromCacheTimeout = 63;
}  // namespace inet_option

// Info levels of HttpQueryInfo that answer with text.
namespace inet_query {
constexpr int kContentLength = 5;
constexpr int kStatusCode = 19;
constexpr int kRawHeadersCrlf = 22;  // the status line and every header, each with CR LF
constexpr int kContentRange = 53;
}  // namespace inet_query

// Opens the root handle. Every request under it sends agent as its User-Agent. With
// kProxy, requests go through proxy ("host:port"), except for the hosts that bypass
// names: "<local>" sends host names without a dot directly. Null on failure.
HINTERNET InternetOpen(std::wstring_view agent, InternetAccess access, std::wstring_view proxy,
                       std::wstring_view bypass);

// Sets an option of the root handle (the inet_option numbers). False when unknown.
bool InternetSetOption(const HINTERNET& root, int option, std::uint32_t value);

// Sends a GET for url with the extra header lines (each ending in CR LF), always to the
// server, never from a cache, and follows redirects. Blocks until the final response's
// headers have arrived; returns its request handle, or null on failure. Closing root
// makes a pending open return null.
HINTERNET InternetOpenUrl(const HINTERNET& root, std::wstring_view url, std::wstring_view headers);

// The text of an info level of the response; false (and "") when absent.
bool HttpQueryInfo(const HINTERNET& request, int info_level, std::wstring* text);
// The Last-Modified header as calendar fields in GMT; false when absent or unparsable.
bool HttpQueryLastModified(const HINTERNET& request, CalendarTime* time);

// Reads up to size bytes of the body into buffer. Blocks until data, the end or an error:
// true with *read > 0 while the body lasts, true with *read == 0 at its end, false on an
// error or when the handle was closed meanwhile.
bool InternetReadFile(const HINTERNET& request, void* buffer, std::uint32_t size,
                      std::uint32_t* read);

// Closes a handle; a call pending on it returns promptly. Closing a root handle closes
// the requests under it. False for a null handle or one closed already.
bool InternetCloseHandle(const HINTERNET& handle);

}  // namespace zenpo::platform
