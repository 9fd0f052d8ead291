// The HTTP client: the six operations the download engine performs (open the library,
// set an option, open a URL, query the response, read the body, close a handle).
// Handles are shared: a handle stays valid while any call on it is still pending, so
// one thread may close a handle while another is blocked in a call on it. Every call is
// safe from any thread. Reads on one request handle are served one at a time; queries
// and closes never wait for a pending open or read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace zenpo::platform {

class InternetObject;  // a root handle or a request handle; private to the back end
using HINTERNET = std::shared_ptr<InternetObject>;

enum class InternetAccess { kDirect = 1, kProxy = 3 };

// Option numbers of InternetSetOption; values are 32-bit milliseconds or counts.
// What each does on the libcurl back end:
//   kConnectTimeout      limit for resolving and connecting, per connection;
//   kReceiveTimeout      an open fails when no response byte arrives for this long once
//                        the connection is up;
//   kDataReceiveTimeout  a read fails when no body byte arrives for this long;
//   the others           accepted, with no effect: there is no cache, no listen
//                        socket, connects are not retried and sends are never slow enough
//                        to matter next to the receive limits.
// Options apply to the opens made after them. 0 means no limit (connecting then still
// ends after libcurl's own 300 s). Unset: connect 60000, receive and data receive 30000.
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
// An option of this interface rather than of the library: non-zero lets the opens that
// follow take redirects from http to https and back. libcurl takes both anyway; WinINet
// needs its flags for it. Secure connections are verified either way.
constexpr int kFollowSchemeChanges = 0x5A01;
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

// Sets an option of the root handle (the inet_option numbers) for the opens that follow.
// False when the option is unknown or root is not an open root handle.
bool InternetSetOption(const HINTERNET& root, int option, std::uint32_t value);

// Sends a GET for url with the extra header lines (each ending in CR LF), always to the
// server, never from a cache, and follows up to 20 redirects (http and https only), each
// through the proxy or directly as its own host requires; Authorization and Cookie lines
// go only to the scheme, host and port of url itself. Blocks until the final response's
// headers have arrived, whatever its status; the body is left unread. Returns its
// request handle, or null on failure (no connection, a time-out, a malformed or
// oversized response). Closing root makes a pending open return null.
HINTERNET InternetOpenUrl(const HINTERNET& root, std::wstring_view url, std::wstring_view headers);

// Why the calling thread's last InternetOpenUrl failed to secure its connection, in the
// library's words: a certificate that no trusted authority signed, one made out to
// another host or out of date, a failed TLS handshake. "" when that open succeeded or
// failed for another reason. Certificates are always verified against the system's
// trust store (on POSIX the TLS library's default, or SSL_CERT_FILE and SSL_CERT_DIR
// where set); nothing turns that off.
std::wstring InternetLastSecurityError();

// The text of an info level of the final response; false (and "") when absent or when
// request is not an open request handle. Header values come without surrounding blanks;
// kStatusCode gives the digits of the status line; kRawHeadersCrlf ends with an empty line.
bool HttpQueryInfo(const HINTERNET& request, int info_level, std::wstring* text);
// The Last-Modified header as calendar fields in GMT; false when absent or unparsable.
bool HttpQueryLastModified(const HINTERNET& request, CalendarTime* time);

// Reads up to size bytes of the body and points *data at them, inside the request: they
// stay there unchanged until the next read on the handle, even when it is closed
// meanwhile, so the caller can write them out without a copy of its own. No allocation
// per read. Blocks until data, the end or an error:
// true with *read > 0 while the body lasts, true with *read == 0 at its end, false on an
// error, a time-out or when the handle was closed meanwhile. A connection that closes
// before the announced length is an end, not an error: the caller compares sizes. Bytes
// received before an error are returned first; the error comes with the next read.
// A read of more than a page may end early, on a page boundary of the resource (where a
// 206's Content-Range puts the body), so that appending each read to a file fills whole
// pages. The handle reads at most about 150 KiB ahead of the caller; beyond that the
// transfer waits until someone reads, so the body stays with the server.
bool InternetReadFile(const HINTERNET& request, std::uint32_t size, const char** data,
                      std::uint32_t* read);

// Closes a handle; a call pending on it returns promptly (an open with null, a read with
// false) and any call made afterwards fails. Closing a root handle closes the requests
// under it. False for a null handle or one closed already. May be called from any thread
// while another thread is blocked on the same handle; the memory behind the handle stays
// valid until the last HINTERNET copy goes.
bool InternetCloseHandle(const HINTERNET& handle);

}  // namespace zenpo::platform
