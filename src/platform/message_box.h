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
// dismiss, when given, answers the boxes the handler has open (see DismissMessageBoxes).
using MessageBoxHandler = std::function<void(std::wstring_view text)>;
void SetMessageBoxHandler(MessageBoxHandler handler, std::function<void()> dismiss = {});

// Answers every open box as Enter would, and from now on shows boxes the default way,
// without a wait: a request to end the program (a signal from a service manager, say)
// must not wait for a key nobody may press. Safe from any thread; for the whole run.
void DismissMessageBoxes();

}  // namespace zenpo::platform
