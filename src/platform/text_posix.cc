// Code page conversion through iconv; the code page is the locale's codeset.
#include "platform/text.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <cstring>
#include <memory>

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

}  // namespace

std::string CodePageName() { return Codeset(); }

std::string ToCodePage(std::wstring_view text, std::size_t max_bytes) {
  std::string out;
  Converter& conv = WideToCodePage();
  if (!conv.ok()) return out;
  conv.Reset();
  char buf[64];
  for (wchar_t ch : text) {
    if (ch == L'\0') break;
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

std::wstring FromCodePage(std::string_view bytes, std::size_t max_chars) {
  std::wstring out;
  Converter& conv = CodePageToWide();
  if (!conv.ok()) return out;
  conv.Reset();
  std::size_t cut = bytes.find('\0');
  if (cut != std::string_view::npos) bytes = bytes.substr(0, cut);
  std::unique_ptr<wchar_t[]> buf(new wchar_t[bytes.size() + 1]);
  char* in = const_cast<char*>(bytes.data());
  size_t in_left = bytes.size();
  while (in_left > 0) {
    char* o = reinterpret_cast<char*>(buf.get());
    size_t o_left = (bytes.size() + 1) * sizeof(wchar_t);
    size_t r = iconv(conv.cd, &in, &in_left, &o, &o_left);
    out.append(buf.get(), (reinterpret_cast<wchar_t*>(o) - buf.get()));
    if (r == static_cast<size_t>(-1)) {
      // An invalid or cut-off sequence: mark one byte and go on after it.
      out.push_back(L'\uFFFD');
      ++in;
      --in_left;
      conv.Reset();
    }
  }
  if (max_chars != std::wstring::npos && out.size() > max_chars) out.resize(max_chars);
  return out;
}

}  // namespace zenpo::platform
