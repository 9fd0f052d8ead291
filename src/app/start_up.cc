// RunZenpo: start-up, the instance slot, the message loop, the end and the restart.
#include "app/start_up.h"

#include <algorithm>
#include <memory>

#include "app/main_window.h"
#include "config/program_paths.h"
#include "config/settings.h"
#include "platform/front_end.h"
#include "platform/instances.h"
#include "platform/message_box.h"
#include "platform/message_loop.h"
#include "platform/process.h"
#include "platform/text.h"
#include "report/report_message.h"
#include "runtime/open_with_shell.h"
#include "runtime/run_flags.h"
#include "runtime/tray_icon.h"
#include "runtime/window_messages.h"

namespace zenpo {
namespace {

std::wstring ClassName(int slot) { return L"ZENPO_main_" + std::to_wstring(slot); }

bool Reported(std::wstring_view text, int log, int msg) {
  return ReportMessage(text, log, msg) != rc::kLogUnusable;
}

// Whether the settings give a credential, at their own level or in a host profile.
bool CredentialConfigured() {
  return !AppSettings.Authid.empty() ||
         std::ranges::any_of(hostProfiles, [](const HostProfile& p) { return !p.Authid.empty(); });
}

struct SlotChoice {
  bool end = false;  // this process ends here with exit_code
  ResultCode exit_code = 0;
  int slot = 0;
  std::unique_ptr<platform::InstanceClaim> claim;
};

// Finds this process's slot. A plain start shows a running instance and ends; a restart
// or an additional instance takes the first free slot.
SlotChoice ChooseSlot(const platform::InstanceSlots& slots, bool r_or_m) {
  SlotChoice choice;
  for (int n = 0; n < AppSettings.multi; ++n) {
    if (slots.IsTaken(n)) {
      if (r_or_m) continue;
      slots.PostCommand(n, ShowCmd);
      choice.end = true;
      return choice;
    }
    if (!r_or_m) continue;
    choice.claim = slots.Claim(n);
    if (!choice.claim) continue;  // taken meanwhile
    choice.slot = n;
    return choice;
  }
  if (r_or_m) {
    choice.end = true;
    choice.exit_code =
        Reported(L"実行可能多重度数オーバー", level::kFailure, level::kShown) ? 0 : rc::kLogUnusable;
    return choice;
  }
  choice.claim = slots.Claim(0);
  return choice;
}

// Ends the program, or (restart) starts it again after a network call that could not be
// taken back.
// Where the front end asks for it (a terminal) the program restarts in place, keeping
// what it holds; otherwise a new process starts and this one ends with the result.
ResultCode EndOrRestart(ResultCode result, bool restart,
                        std::unique_ptr<platform::InstanceClaim>& claim, bool in_place) {
  if (restart) {
    if (!Reported(L"ZENPOをリセットします", level::kDetail, level::kNotShown)) {
      return rc::kLogUnusable;
    }
    claim.reset();  // the new process takes the slot this one leaves
    const bool started = in_place ? platform::ReplaceSelf(L"R") : platform::StartSelf(L"R");
    if (!started &&
        !Reported(L"ZENPOのリセットでerrorが発生しました", level::kFailure, level::kShown)) {
      return rc::kLogUnusable;
    }
    return result;
  }
  if (!Reported(L"ZENPOの常駐を解除します", level::kFailure, level::kShown)) {
    return rc::kLogUnusable;
  }
  RunHook(ProgramPaths.EndHookPath);
  return result;
}

}  // namespace

ResultCode RunZenpo(const std::wstring& command_line) {
  ResetRunFlags();
  BuildProgramPaths();
  LoadSettings();
  // Whoever may read the log learns which protected resources are fetched: a log made
  // while a credential is configured is the user's alone.
  SetPrivateLogFile(CredentialConfigured());
  if (AppSettings.checkClip) ClipState = clip_state::kWatching;

  const bool restart = command_line.find(L'R') != std::wstring::npos;
  const bool r_or_m = restart || command_line.find(L'M') != std::wstring::npos;
  platform::InstanceSlots slots(ProgramPaths.ProgramDir);
  // Slots in a folder that others can reach could be held or commanded by them: the
  // program does not start, and says why, rather than leave quietly.
  if (!slots.unsafe_folder().empty()) {
    return Reported(L"実行時フォルダが他のユーザから保護されていません->" +
                        platform::ShownText(slots.unsafe_folder()),
                    level::kFailure, level::kShown)
               ? kStartRefused
               : rc::kLogUnusable;
  }
  SlotChoice choice = ChooseSlot(slots, r_or_m);
  if (choice.end) return choice.exit_code;
  const std::wstring class_name = ClassName(choice.slot);
  if (AppSettings.title.empty()) AppSettings.title = class_name;
  if (AppSettings.titleDL.empty()) AppSettings.titleDL = class_name;

  // The window and its loop come first, so that the start report's box is drawn in the
  // terminal; the window itself appears only after the box is closed.
  platform::FrontEndOptions options;
  options.class_name = class_name;
  options.menu = MainMenu();
  options.tray_message = TrayNotifyMsg;
  const platform::FrontEnd front_end = platform::CreateFrontEnd(options);
  platform::MessageLoop& loop = *front_end.window;
  // Signals are commands too ("EXIT" and "PAUSE"); they wait in the loop's queue until the
  // window takes them, so one that arrives during start-up is not lost. A request to end
  // answers the open message box, and later ones do not wait: whoever stops the program
  // (a service manager, the closed terminal) must not wait for a key.
  for (auto s : {platform::Signal::kInterrupt, platform::Signal::kTerminate, platform::Signal::kHangUp}) {
    loop.CallOnSignal(s, [&loop] {
      platform::DismissMessageBoxes();
      loop.Post(platform::msg::kCommand, menu_cmd::kExit, 0);
    });
  }
  loop.PostOnSignal(platform::Signal::kUser1, platform::msg::kCommand, menu_cmd::kPause, 0);

  if (restart) {
    if (!Reported(L"ZENPOのリセットを完了しました", level::kDetail, level::kNotShown)) {
      return rc::kLogUnusable;
    }
  } else {
    if (!Reported(L"ZENPOの常駐を開始します", level::kFailure, level::kShown)) {
      return rc::kLogUnusable;
    }
    if (RunHook(ProgramPaths.StartHookPath) == rc::kLogUnusable) return rc::kLogUnusable;
  }

  MainWindow window(loop, class_name, DefaultMainWindowServices());
  window.post_quit = [&loop](int value) { loop.PostQuit(value); };
  loop.SetWindowProc([&window](std::uint32_t m, std::uintptr_t w, std::intptr_t l) {
    return window.WndProc(m, w, l);
  });
  loop.SetTitle(AppSettings.title);
  window.WndProc(platform::msg::kCreate, 0, 0);

  // Commands other instances post (a second start shows this one).
  int command_watch = 0;
  if (choice.claim) {
    platform::InstanceClaim* claim = choice.claim.get();
    command_watch = loop.WatchDescriptor(claim->command_fd(), [claim, &loop] {
      while (auto command = claim->TakeCommand()) loop.Post(platform::msg::kCommand, *command, 0);
    });
  }

  SetTrayWindow(&loop);
  if (!loop.SetTrayPicture(tray_picture::kIdle) &&
      !Reported(L"トレイアイコン生成エラー", level::kOutcome, level::kNotShown)) {
    return rc::kLogUnusable;
  }
  loop.Show(AppSettings.HIDE == 0);
  loop.Invalidate();

  const std::optional<int> ran = loop.Run();
  // The window is gone: what is posted from now on waits (the end box's loop runs on).
  loop.SetWindowProc(nullptr);
  SetTrayWindow(nullptr);
  if (command_watch != 0) loop.UnwatchDescriptor(command_watch);
  if (!ran) return 0;
  const ResultCode result = window.cycle().ProgramResult();
  const bool start_again = ResultRestartsProgram(result) && CloseRequested.load() == 0;
  // A restart hands the terminal to the new process, so this one lets go of it first.
  // Otherwise the end report's box is still drawn in the terminal, over the tray row.
  if (start_again) loop.LetGo();
  return EndOrRestart(result, start_again, choice.claim, front_end.restart_in_place);
}

}  // namespace zenpo
