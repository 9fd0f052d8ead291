// UpdateTrayIcon and the tray state.
#include "runtime/tray_icon.h"

#include <atomic>
#include <cstdint>
#include <mutex>

#include "report/report_message.h"
#include "runtime/run_flags.h"

namespace zenpo {

namespace {

// The data frame last shown (kDataFrame1 to kDataFrame3); starts before the first and is
// reset only with the whole tray state, so the frames run on from one download to the
// next.
std::atomic<std::int32_t> TrayAnimFrame{2};

// Guards the registered window and the current picture, so a picture change never races
// with unregistering the window.
std::mutex tray_mutex;
platform::Window* tray_window = nullptr;
int current_picture = tray_picture::kIdle;

std::int32_t StepAnimFrame() {
  std::int32_t frame = TrayAnimFrame.load();
  std::int32_t next;
  do {
    next = frame + 1 > tray_picture::kDataFrame3 ? tray_picture::kDataFrame1 : frame + 1;
  } while (!TrayAnimFrame.compare_exchange_weak(frame, next));
  return next;
}

}  // namespace

void SetTrayWindow(platform::Window* window) {
  std::lock_guard<std::mutex> lock(tray_mutex);
  tray_window = window;
}

void UpdateTrayIcon(int state) {
  int picture = state == tray_state::kIdle ? tray_picture::kIdle : tray_picture::kBusy;
  if (PauseRequested.load() != 0) picture = tray_picture::kPaused;
  if (state == tray_state::kChunkWritten) picture = StepAnimFrame();
  {
    std::lock_guard<std::mutex> lock(tray_mutex);
    if (tray_window == nullptr || tray_window->SetTrayPicture(picture)) {
      current_picture = picture;
      return;
    }
  }
  ReportMessage(L"トレイアイコン生成エラー", level::kOutcome, level::kNotShown);
}

int CurrentTrayPicture() {
  std::lock_guard<std::mutex> lock(tray_mutex);
  return current_picture;
}

void ResetTrayState() {
  TrayAnimFrame = 2;
  std::lock_guard<std::mutex> lock(tray_mutex);
  tray_window = nullptr;
  current_picture = tray_picture::kIdle;
}

}  // namespace zenpo
