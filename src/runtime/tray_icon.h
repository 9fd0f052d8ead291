// The tray icon's state: which of the six pictures it shows, the data animation, and the
// window that draws it.
#pragma once

#include "platform/window.h"

namespace zenpo {

// The six tray pictures by index.
namespace tray_picture {
constexpr int kBusy = 0;
constexpr int kIdle = 1;  // the picture the tray starts with
constexpr int kPaused = 2;
constexpr int kDataFrame1 = 3;
constexpr int kDataFrame2 = 4;
constexpr int kDataFrame3 = 5;
}  // namespace tray_picture

// The states UpdateTrayIcon is called with.
namespace tray_state {
constexpr int kIdle = 0;
constexpr int kBusy = 1;
constexpr int kChunkWritten = 4;
}  // namespace tray_state

// Registers the window that shows the tray picture (start-up), or none (shutdown). The
// window must stay alive until it is unregistered; unregistering waits for a picture
// change in progress. Safe from any thread.
void SetTrayWindow(platform::Window* window);

// Chooses the picture for state (idle 0, busy 1, chunk written 4): idle or busy, the
// paused picture while PauseRequested is set, or for 4 the next data frame whatever the
// pause. Hands it to the registered window; when the window refuses it, reports
// "トレイアイコン生成エラー" (level::kOutcome, level::kNotShown), ignoring the report's result, and the picture stays
// as it was. Without a window only the state changes. Safe from any thread.
void UpdateTrayIcon(int state);

// The picture the tray shows now.
int CurrentTrayPicture();

// Restores the start state: frame 2, idle picture, no window (start-up and tests).
void ResetTrayState();

}  // namespace zenpo
