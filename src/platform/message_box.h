// Modal message boxes with the caption "ZENPO" and an OK button.
#pragma once

#include <functional>
#include <string_view>

namespace zenpo::platform {

// Shows text and returns when the user has closed the box; blocks only the calling
// thread. Safe from any thread.
void ShowMessageBox(std::wstring_view text);

// Replaces how boxes are shown (the terminal front end draws them; tests record them).
// An empty handler restores the default: one line "ZENPO: text" on stderr, no wait.
using MessageBoxHandler = std::function<void(std::wstring_view text)>;
void SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace zenpo::platform
