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

std::string CodePageName() { return "CP" + std::to_string(GetACP()); }

}  // namespace zenpo::platform
