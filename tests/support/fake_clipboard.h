// A clipboard in memory that the test fills as a user would, for the clipboard watcher.
// Thread-safe: the watcher reads it on its thread while the test copies on its own.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "platform/clipboard.h"

namespace zenpo::test {

class FakeClipboard : public platform::Clipboard {
 public:
  bool HasText() override;
  platform::ClipboardText ReadText() override;
  bool Empty() override;

  // The user copies text (it replaces what was there).
  void SetText(std::wstring text);
  // The user copies something that is not text, such as a picture.
  void SetNonText();
  // From now on the clipboard offers text but hands none out (or behaves again).
  void RefuseText(bool refuse);

  int reads() const;
  int empties() const;

 private:
  mutable std::mutex mutex_;
  std::optional<std::wstring> text_;
  bool refuse_ = false;
  int reads_ = 0;
  int empties_ = 0;
};

}  // namespace zenpo::test
