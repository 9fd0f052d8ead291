// Owners of the X11 CLIPBOARD selection on $DISPLAY: who owns it now, and one that
// misbehaves on purpose. Xlib stays inside the .cc: its macros clash with GoogleTest.
#pragma once

#include <cstdint>
#include <memory>

namespace zenpo::test {

// The window that owns CLIPBOARD now, 0 for none or without a display.
std::uint64_t ClipboardOwnerWindow();

class RogueClipboardOwner {
 public:
  enum class Manner {
    kSilent,       // takes the selection and never answers a request
    kRefusesText,  // lists UTF8_STRING among its targets, then refuses to convert
  };
  explicit RogueClipboardOwner(Manner manner);
  ~RogueClipboardOwner();
  bool owns() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace zenpo::test
