// Basic credentials: standard Base64 (RFC 4648, with padding) and the Authorization value
// made from plain credentials. Pure functions; safe from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zenpo {

// Plain credentials take at most this many bytes in the device code page, and an
// Authorization value at most this many characters.
constexpr std::size_t kMaxCredentialBytes = 255;
constexpr std::size_t kMaxAuthorizationChars = 512;

// Encodes the bytes as Base64 text of exactly 4 * ceil(n / 3) characters.
std::string EncodeBase64(std::string_view bytes);

// The Authorization value of plain credentials ("user:password"): the text in the device
// code page, cut at a character boundary to kMaxCredentialBytes, Base64-encoded; "" for
// none. A byte of a list line that forms no character stays that byte. *cut, when given,
// tells whether the cut took anything away.
std::wstring EncodeCredential(std::wstring_view plain, bool* cut = nullptr);

}  // namespace zenpo
