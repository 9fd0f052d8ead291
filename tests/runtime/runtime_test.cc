// Transfer statistics, status lines, the tray picture and the shell's open.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "runtime/open_with_shell.h"
#include "runtime/progress_state.h"
#include "runtime/run_flags.h"
#include "runtime/status_lines.h"
#include "runtime/tray_icon.h"
#include "support/fake_window.h"
#include "support/program_home.h"
#include "support/temp_dir.h"

namespace zenpo {
namespace {

namespace fs = std::filesystem;
constexpr platform::FileTime kStart = 133000000000000000ULL, kMs = 10000;

ProgressStateRecord State(std::int64_t received, std::int64_t remaining) {
  ProgressStateRecord s;
  s.transferStart = kStart;
  s.receivedBytes = received;
  s.remainingBytes = remaining;
  return s;
}

TEST(TransferStatisticsTest, RateAndRemainingTimeAtTheAverageRate) {
  const std::int64_t six_gib = 6LL << 30;
  const struct {
    std::int64_t received, remaining, elapsed_ms, kbps, seconds;
  } cases[] = {
      // A started tenth of a second counts as a whole one: 6.1 s shows 7, 6.05 s shows 6.
      {1000000, 3050000, 2000, 4000, 7}, {1000000, 3025000, 2000, 4000, 6}, {1000000, 0, 2000, 4000, 0},
      // At 800 kbps: 10.92 s shows 10, 11.025 s shows 11.
      {100000, 1002000, 1000, 800, 10}, {100000, 1012500, 1000, 800, 11},
      {six_gib, six_gib, 10000, six_gib * 8 / 10000, 10},
      {5000000, -5000000, 1000, 40000, 0},  // unknown size
      {1000, 1000, 0, 0, 0},                // no time yet, nothing divided by zero
  };
  for (const auto& c : cases) {
    const auto s = ComputeTransferStatistics(State(c.received, c.remaining), kStart + c.elapsed_ms * kMs);
    EXPECT_EQ(s.kbps, c.kbps) << c.remaining;
    EXPECT_EQ(s.remainingSeconds, c.seconds) << c.remaining;
  }
  StatusLines.BandLine.Set(L"Avg.BAND : 77 Kbps");
  std::lock_guard<std::mutex> lock(SharedLock);
  ProgressState = State(1000, 0);
  WriteTransferStatistics(kStart);
  EXPECT_EQ(StatusLines.TimeLine.Get() + StatusLines.BandLine.Get(), L"Time : 0 [ -0 ] secAvg.BAND : 77 Kbps");
  ProgressState = State(1000000, 3000000);
  WriteTransferStatistics(kStart + 2500 * kMs);
  EXPECT_EQ(StatusLines.TimeLine.Get() + StatusLines.BandLine.Get(), L"Time : 2 [ -8 ] secAvg.BAND : 3200 Kbps");
  StatusLines.ClearAll();
}

// The drawing thread reads while the engine writes: every read is one whole text, cut to
// the line's capacity.
TEST(StatusTextTest, ReadersSeeWholeTextsOfAtMostCapacityMinusOne) {
  StatusLinesRecord lines;
  lines.UrlLine.Set(std::wstring(2000, L'u'));
  EXPECT_EQ(lines.UrlLine.Get().size(), 1075u);
  const std::wstring a(100, L'a'), b = L"b";
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; !stop; ++i) lines.ProgressLine.Set(i % 2 ? a : b);
  });
  for (int i = 0; i < 20000; ++i) {
    const std::wstring seen = lines.ProgressLine.Get();
    if (!(seen.empty() || seen == a.substr(0, 51) || seen == b)) {
      ADD_FAILURE() << "torn text of " << seen.size() << " characters";
      break;
    }
  }
  stop = true;
  writer.join();
}

TEST(TrayIconTest, IdleBusyPausedDataFramesAndRefusals) {
  test::ProgramHome home;
  test::FakeWindow window;
  ResetTrayState();
  ResetRunFlags();
  SetTrayWindow(&window);
  for (int state : {tray_state::kBusy, tray_state::kChunkWritten, tray_state::kChunkWritten, tray_state::kIdle}) UpdateTrayIcon(state);
  PauseRequested = 1;  // the data frames run on, paused or not
  for (int state : {tray_state::kIdle, tray_state::kChunkWritten, tray_state::kChunkWritten, tray_state::kBusy}) UpdateTrayIcon(state);
  EXPECT_EQ(window.tray_pictures(), (std::vector<int>{0, 3, 4, 1, 2, 5, 3, 2}));
  window.FailTray(true);
  UpdateTrayIcon(tray_state::kIdle);
  EXPECT_EQ(CurrentTrayPicture(), tray_picture::kPaused) << "a refused picture keeps the previous";
  EXPECT_NE(home.LogText().find("トレイアイコン生成エラー"), std::string::npos);
  // The job thread steps the frames while the UI thread switches busy and idle.
  window.FailTray(false);
  ResetRunFlags();
  const std::int32_t frame = TrayAnimFrame.load();
  const std::size_t pictures = window.tray_pictures().size();
  std::thread job([] {
    for (int i = 0; i < 3000; ++i) UpdateTrayIcon(tray_state::kChunkWritten);
  });
  for (int i = 0; i < 3000; ++i) UpdateTrayIcon(i % 2);
  job.join();
  EXPECT_EQ(TrayAnimFrame.load(), frame) << "3000 steps, none lost, come round to the same frame";
  EXPECT_EQ(window.tray_pictures().size(), pictures + 6000);
  ResetTrayState();
}

TEST(OpenWithShellTest, StartsProgramsDetachedAndHandsFilesToTheOpener) {
  test::TempDir dir;
  const std::string old_path = getenv("PATH");
  auto script = [&](const fs::path& path, const std::string& body) {
    test::WriteFile(path, "#!/bin/sh\n" + body + " > " + (dir / "mark").string() + "\n");
    fs::permissions(path, fs::perms::owner_all);
  };
  auto mark = [&] {
    for (int i = 0; i < 200 && test::ReadFile(dir / "mark").empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    return test::ReadFile(dir / "mark");
  };
  EXPECT_EQ(OpenWithShell((dir / "missing.lnk").wstring()), 1);
  // A descriptor of ours without close-on-exec must not reach the program.
  const int ours = open("/dev/null", O_RDONLY);
  script(dir / "hook", "if [ -e /proc/$$/fd/" + std::to_string(ours) + " ]; then echo leaked; else echo clean; fi");
  EXPECT_EQ(OpenWithShell((dir / "hook").wstring()), 0);
  close(ours);
  EXPECT_EQ(mark(), "clean\n");
  fs::remove(dir / "mark");
  fs::create_directory(dir / "bin");
  script(dir / "bin/xdg-open", "printf '%s' \"$1\"");
  test::WriteFile(dir / "ZENPO.txt", "list");
  setenv("PATH", (dir / "bin").c_str(), 1);
  EXPECT_EQ(OpenWithShell((dir / "ZENPO.txt").wstring()), 0);
  EXPECT_EQ(mark(), (dir / "ZENPO.txt").string());
  setenv("PATH", (dir / "nothing").c_str(), 1);
  EXPECT_EQ(OpenWithShell((dir / "ZENPO.txt").wstring()), 1) << "no opener at all";
  setenv("PATH", old_path.c_str(), 1);
}

}  // namespace
}  // namespace zenpo
