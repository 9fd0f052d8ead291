// Owners of the X11 CLIPBOARD selection on $DISPLAY as tests see them: who owns it now,
// and an owner of the test's own that misbehaves on purpose, for the failure paths.
// Xlib stays inside the .cc: its macros clash with GoogleTest.
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
  // Whether it holds the selection (false when the display could not be opened).
  bool owns() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace zenpo::test
