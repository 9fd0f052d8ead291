// Code page conversion through iconv; the code page is the locale's codeset.
#include "platform/text.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <cstring>

namespace zenpo::platform {
namespace {

std::string DetectCodeset() {
  locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
  if (loc == static_cast<locale_t>(0)) return "UTF-8";
  std::string name = nl_langinfo_l(CODESET, loc);
  freelocale(loc);
  // The plain "C" locale names ASCII; UTF-8 is its superset and keeps Japanese texts.
  if (name.empty() || name == "ANSI_X3.4-1968" || name == "ASCII" || name == "US-ASCII") {
    return "UTF-8";
  }
  return name;
}

const std::string& Codeset() {
  static const std::string codeset = DetectCodeset();
  return codeset;
}

// One iconv descriptor per thread and direction: opening one is costly and a descriptor
// must not be shared between threads.
struct Converter {
  iconv_t cd = reinterpret_cast<iconv_t>(-1);
  Converter(const char* to, const char* from) : cd(iconv_open(to, from)) {}
  ~Converter() {
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  }
  bool ok() const { return cd != reinterpret_cast<iconv_t>(-1); }
  void Reset() { iconv(cd, nullptr, nullptr, nullptr, nullptr); }
};

Converter& WideToCodePage() {
  thread_local Converter c(Codeset().c_str(), "WCHAR_T");
  return c;
}

Converter& CodePageToWide() {
  thread_local Converter c("WCHAR_T", Codeset().c_str());
  return c;
}

// Widens seven-bit text one byte to one character; false (out unspecified) when a byte
// of 0x80 or above is met. One pass without an early exit, so the loop vectorises.
bool WidenAscii(std::string_view bytes, std::wstring* out) {
  out->resize(bytes.size());
  wchar_t* w = out->data();
  unsigned char seen = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    seen |= c;
    w[i] = static_cast<wchar_t>(c);
  }
  return seen < 0x80;
}

// Whether the code page maps every byte below 0x80 to the same character, so that such
// text converts without iconv. Stateful code pages, whose escapes are seven-bit bytes,
// fail this test.
bool AsciiIsIdentity() {
  static const bool identity = [] {
    char bytes[127];
    for (int i = 0; i < 127; ++i) bytes[i] = static_cast<char>(i + 1);
    Converter conv("WCHAR_T", Codeset().c_str());
    if (!conv.ok()) return false;
    wchar_t wide[256];
    char* in = bytes;
    size_t in_left = sizeof(bytes);
    char* o = reinterpret_cast<char*>(wide);
    size_t o_left = sizeof(wide);
    if (iconv(conv.cd, &in, &in_left, &o, &o_left) == static_cast<size_t>(-1)) return false;
    if (reinterpret_cast<wchar_t*>(o) - wide != 127) return false;
    for (int i = 0; i < 127; ++i) {
      if (wide[i] != static_cast<wchar_t>(i + 1)) return false;
    }
    return true;
  }();
  return identity;
}

// Wide text to the code page; with keep_bytes the placeholders of raw bytes become those
// bytes again.
std::string Encode(std::wstring_view text, std::size_t max_bytes, bool keep_bytes) {
  std::string out;
  Converter& conv = WideToCodePage();
  if (!conv.ok()) return out;
  conv.Reset();
  char buf[64];
  for (wchar_t ch : text) {
    if (ch == L'\0') break;
    if (keep_bytes && IsBytePlaceholder(ch)) {
      if (max_bytes != std::string::npos && out.size() + 1 > max_bytes) break;
      out += static_cast<char>(ch - kBytePlaceholderBase);
      continue;
    }
    wchar_t one = ch;
    char* in = reinterpret_cast<char*>(&one);
    size_t in_left = sizeof(one);
    char* o = buf;
    size_t o_left = sizeof(buf);
    std::size_t produced;
    if (iconv(conv.cd, &in, &in_left, &o, &o_left) == static_cast<size_t>(-1)) {
      conv.Reset();
      buf[0] = '?';
      produced = 1;
    } else {
      produced = sizeof(buf) - o_left;
    }
    if (max_bytes != std::string::npos && out.size() + produced > max_bytes) break;
    out.append(buf, produced);
  }
  return out;
}

// Code page text to wide text; a byte that forms no character becomes U+FFFD, or with
// keep_bytes its placeholder.
void Decode(std::string_view bytes, std::wstring* out, std::size_t max_chars, bool keep_bytes) {
  std::size_t cut = bytes.find('\0');
  if (cut != std::string_view::npos) bytes = bytes.substr(0, cut);
  if (!AsciiIsIdentity() || !WidenAscii(bytes, out)) {
    Converter& conv = CodePageToWide();
    if (!conv.ok()) {
      out->clear();
      return;
    }
    conv.Reset();
    // No character of a code page takes less than one byte.
    out->resize(bytes.size());
    char* in = const_cast<char*>(bytes.data());
    size_t in_left = bytes.size();
    std::size_t produced = 0;
    while (in_left > 0) {
      char* o = reinterpret_cast<char*>(out->data() + produced);
      size_t o_left = (out->size() - produced) * sizeof(wchar_t);
      size_t r = iconv(conv.cd, &in, &in_left, &o, &o_left);
      produced = static_cast<std::size_t>(reinterpret_cast<wchar_t*>(o) - out->data());
      if (r == static_cast<size_t>(-1)) {
        if (errno == E2BIG) {
          out->resize(out->size() + in_left + 1);
          continue;
        }
        // An invalid or cut-off sequence: mark one byte and go on after it.
        if (produced == out->size()) out->resize(out->size() + in_left + 1);
        const auto byte = static_cast<unsigned char>(*in);
        (*out)[produced++] = keep_bytes && byte >= 0x80
                                 ? static_cast<wchar_t>(kBytePlaceholderBase + byte)
                                 : L'\uFFFD';
        ++in;
        --in_left;
        conv.Reset();
      }
    }
    out->resize(produced);
  }
  if (max_chars != std::wstring::npos && out->size() > max_chars) out->resize(max_chars);
}

}  // namespace

std::string CodePageName() { return Codeset(); }

std::string ToCodePage(std::wstring_view text, std::size_t max_bytes) {
  return Encode(text, max_bytes, false);
}

std::string PathToSystem(std::wstring_view path, std::size_t max_bytes) {
  return Encode(path, max_bytes, true);
}

std::wstring PathFromSystem(std::string_view bytes) {
  std::wstring out;
  Decode(bytes, &out, std::wstring::npos, true);
  return out;
}

void PathFromSystem(std::string_view bytes, std::wstring* out) {
  Decode(bytes, out, std::wstring::npos, true);
}

std::wstring FromCodePage(std::string_view bytes, std::size_t max_chars) {
  std::wstring out;
  FromCodePage(bytes, &out, max_chars);
  return out;
}

void FromCodePage(std::string_view bytes, std::wstring* out, std::size_t max_chars) {
  Decode(bytes, out, max_chars, false);
}

}  // namespace zenpo::platform
