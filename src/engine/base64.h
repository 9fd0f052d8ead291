// Standard Base64 (RFC 4648, with padding) for Basic credentials.
#pragma once

#include <string>
#include <string_view>

namespace zenpo {

// Encodes the bytes as Base64 text of exactly 4 * ceil(n / 3) characters.
std::string EncodeBase64(std::string_view bytes);

}  // namespace zenpo
