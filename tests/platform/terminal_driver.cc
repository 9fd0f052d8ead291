// A stand-in program for tests in a real terminal: the message loop with the terminal
// front end and a scripted window procedure that writes what it receives to a log file.
//
//   terminal_driver LOG [--hidden] [--url TEXT] [--resume TEXT] [--open FILE]
//
// Menu commands are logged as "command ID"; HIDE and PAUSE toggle as the program does
// (with check marks and the paused picture), EXIT ends the loop, the OPEN items open
// FILE for the user. A tray tap is logged as "tray" and opens the popup while hidden.
// SIGUSR1 shows a Japanese box from another thread. Timer 1 counts its ticks into
// LOG.ticks, so a test can see the loop running.
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/message_box.h"
#include "platform/message_loop.h"
#include "platform/terminal/terminal_front_end.h"
#include "platform/text.h"
#include "support/program_menu.h"

namespace {

using namespace zenpo::platform;

std::mutex log_mutex;
std::string log_path;

void Log(const std::string& line) {
  std::lock_guard<std::mutex> lock(log_mutex);
  if (FILE* f = std::fopen(log_path.c_str(), "a")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

void WriteTicks(int ticks) {
  const std::string path = log_path + ".ticks";
  if (FILE* f = std::fopen(path.c_str(), "w")) {
    std::fprintf(f, "%d\n", ticks);
    std::fclose(f);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  log_path = argv[1];
  bool hidden = false;
  bool paused = false;
  std::string open_file;
  StatusView view;
  view.state = L"LOADING";
  view.progress = L"1000 / 2000 Bytes [ 50% ]";
  view.time = L"Time : 3 [ -3 ] sec";
  view.band = L"Avg.BAND : 2 Kbps";
  view.url = L"http://example.test/dir/file.zip";
  view.resume = L"Resume OK";
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    const std::string value = i + 1 < argc ? argv[i + 1] : "";
    if (arg == "--hidden") {
      hidden = true;
    } else if (arg == "--url") {
      view.url = FromCodePage(value);
      ++i;
    } else if (arg == "--resume") {
      view.resume = FromCodePage(value);
      ++i;
    } else if (arg == "--open") {
      open_file = value;
      ++i;
    }
  }

  MessageLoop loop;
  TerminalOptions options;
  options.menu = zenpo::test::ProgramMenu();
  std::shared_ptr<WindowFrontEnd> front_end = CreateTerminalFrontEnd(loop, options);
  if (!front_end) {
    Log("headless");
    ShowMessageBox(L"ヘッドレス");
    return 3;
  }
  loop.SetFrontEnd(front_end);
  front_end.reset();
  Log("front end");

  int ticks = 0;
  std::vector<std::thread> reporters;
  loop.SetWindowProc([&](std::uint32_t message, std::uintptr_t wparam, std::intptr_t) -> std::intptr_t {
    switch (message) {
      case msg::kPaint:
        loop.DrawStatus(view);
        break;
      case msg::kTimer:
        WriteTicks(++ticks);
        break;
      case msg::kCommand:
        Log("command " + std::to_string(wparam));
        switch (wparam) {
          case 40004:
            hidden = !hidden;
            loop.Show(!hidden);
            loop.CheckMenuItem(40004, hidden);
            break;
          case 40005:
            paused = !paused;
            loop.CheckMenuItem(40005, paused);
            loop.SetTrayPicture(paused ? 2 : 1);
            view.state = paused ? L"WAITING PAUSE" : L"WAITING";
            loop.Invalidate();
            break;
          case 40003:
            view.state = L"WAITING CLOSE";
            view.state_alert = true;
            loop.Invalidate();
            loop.PostQuit(0);
            break;
          case 40010:
          case 40011:
          case 40012:
            Log(std::string("open ") + (loop.OpenForUser(FromCodePage(open_file)) ? "1" : "0"));
            break;
        }
        break;
      case 0x8000:
        Log("tray");
        if (!loop.IsVisible()) {
          loop.PopupMenu();
          Log("popup closed");
        }
        break;
    }
    return 0;
  });
  loop.CallOnSignal(Signal::kUser1, [&] {
    reporters.emplace_back([] {
      ShowMessageBox(L"別スレッドからの報告です。ダウンロードを続けます。");
      Log("thread box closed");
    });
  });
  loop.PostOnSignal(Signal::kTerminate, 0x0012, 0, 0);

  loop.SetTitle(L"ZENPO_main_0");
  loop.CheckMenuItem(40007, true);
  loop.CheckMenuItem(40004, hidden);
  loop.CheckMenuItem(40005, paused);
  loop.SetTrayPicture(paused ? 2 : 1);
  loop.Show(!hidden);
  loop.SetTimer(1, 100);
  loop.Invalidate();
  Log("running");
  const std::optional<int> result = loop.Run();
  Log("ended " + std::to_string(result.value_or(-1)));
  for (std::thread& t : reporters) t.join();
  return 0;
}
