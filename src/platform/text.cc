// What every code page back end shows alike: the placeholders of PathFromSystem as U+FFFD.
#include "platform/text.h"

namespace zenpo::platform {

std::wstring ShownText(std::wstring_view text) {
  std::wstring shown(text);
  for (wchar_t& c : shown) {
    if (IsBytePlaceholder(c)) c = L'\uFFFD';
  }
  return shown;
}

}  // namespace zenpo::platform
