// Text on Windows: UTF-16 <-> the ANSI code page (CP_ACP) through the system's own tables.
#include <windows.h>

#include <string>

#include "platform/text.h"

namespace zenpo::platform {
namespace {

std::string Narrow(const wchar_t* text, int length) {
  if (length == 0) return {};
  const int size = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, "?", nullptr);
  std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) WideCharToMultiByte(CP_ACP, 0, text, length, out.data(), size, "?", nullptr);
  return out;
}

// The wide form of bytes that are one whole character of the code page; false when they
// are not.
bool OneCharacter(const char* bytes, int length, std::wstring* out) {
  wchar_t wide[4];
  const int size = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes, length, wide, 4);
  if (size <= 0) return false;
  out->append(wide, static_cast<std::size_t>(size));
  return true;
}

}  // namespace

std::string ToCodePage(std::wstring_view text, std::size_t max_bytes) {
  std::string all = Narrow(text.data(), static_cast<int>(text.size()));
  if (all.size() <= max_bytes) return all;
  // Too long: add whole characters (a surrogate pair is one) while they fit.
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t units =
        IS_HIGH_SURROGATE(text[i]) && i + 1 < text.size() && IS_LOW_SURROGATE(text[i + 1]) ? 2 : 1;
    const std::string one = Narrow(text.data() + i, static_cast<int>(units));
    if (out.size() + one.size() > max_bytes) break;
    out += one;
    i += units;
  }
  return out;
}

void FromCodePage(std::string_view bytes, std::wstring* out, std::size_t max_chars) {
  bytes = bytes.substr(0, bytes.find('\0'));  // text ends at NUL
  out->clear();
  if (bytes.empty() || max_chars == 0) return;
  const int length = static_cast<int>(bytes.size());
  const int size = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
  if (size <= 0) return;
  out->resize(static_cast<std::size_t>(size));
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, out->data(), size);
  if (out->size() > max_chars) {
    std::size_t keep = max_chars;
    if (IS_HIGH_SURROGATE((*out)[keep - 1])) --keep;  // never half a pair
    out->resize(keep);
  }
}

std::wstring FromCodePage(std::string_view bytes, std::size_t max_chars) {
  std::wstring out;
  FromCodePage(bytes, &out, max_chars);
  return out;
}

std::wstring PathFromSystem(std::string_view bytes) {
  bytes = bytes.substr(0, bytes.find('\0'));
  std::wstring out;
  const int length = static_cast<int>(bytes.size());
  const int size = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
  if (size > 0 || bytes.empty()) {
    out.resize(static_cast<std::size_t>(size > 0 ? size : 0));
    if (size > 0) MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, out.data(), size);
    return out;
  }
  // Not all text: each character in turn, as long as the code page's longest one.
  CPINFO info;
  const int longest = GetCPInfo(CP_ACP, &info) ? static_cast<int>(info.MaxCharSize) : 1;
  for (std::size_t i = 0; i < bytes.size();) {
    int used = 1;
    while (used <= longest && i + used <= bytes.size() &&
           !OneCharacter(bytes.data() + i, used, &out)) {
      ++used;
    }
    if (used > longest || i + used > bytes.size()) {
      const auto byte = static_cast<unsigned char>(bytes[i]);
      out += byte >= 0x80 ? static_cast<wchar_t>(kBytePlaceholderBase + byte) : L'\uFFFD';
      used = 1;
    }
    i += static_cast<std::size_t>(used);
  }
  return out;
}

void PathFromSystem(std::string_view bytes, std::wstring* out) { *out = PathFromSystem(bytes); }

std::string PathToSystem(std::wstring_view path, std::size_t max_bytes) {
  path = path.substr(0, path.find(L'\0'));
  std::string out;
  for (std::size_t i = 0; i < path.size();) {
    if (IsBytePlaceholder(path[i])) {
      if (out.size() + 1 > max_bytes) break;
      out += static_cast<char>(path[i++] - kBytePlaceholderBase);
      continue;
    }
    std::size_t end = i;
    while (end < path.size() && !IsBytePlaceholder(path[end])) ++end;
    const std::wstring_view text = path.substr(i, end - i);
    const std::string whole = ToCodePage(text);
    if (out.size() + whole.size() > max_bytes) {
      out += ToCodePage(text, max_bytes - out.size());
      break;
    }
    out += whole;
    i = end;
  }
  return out;
}

std::string CodePageName() { return "CP" + std::to_string(GetACP()); }

}  // namespace zenpo::platform
