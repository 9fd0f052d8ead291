// The program's entry: the arguments become the command line.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/add_urls.h"
#include "app/exit_status.h"
#include "app/info_options.h"
#include "app/start_up.h"
#include "engine/transfer_workers.h"
#include "platform/process.h"
#include "platform/text.h"
#include "runtime/run_flags.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (const zenpo::InfoOption option = zenpo::FindInfoOption(args);
      option != zenpo::InfoOption::kNone) {
    std::fputs(zenpo::InfoText(option).c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  bool is_add = false;
  const std::vector<std::string> added = zenpo::FindAddedUrls(args, &is_add);
  if (is_add) return zenpo::AddUrls(added);
  std::string command_line;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i > 0) command_line += ' ';
    command_line += args[i];
  }
  zenpo::ResultCode last = zenpo::RunZenpo(zenpo::platform::FromCodePage(command_line));
  if (const zenpo::ResultCode failure = zenpo::ClipAppendFailure.load();
      failure != 0 && zenpo::platform::kExitStatusReportsAppendFailure) {
    last = failure;
  }
  const int status = zenpo::ExitStatusFor(last);
  // A network call that hung was abandoned, not ended: its thread may still use the
  // program's records, so they are not torn down under it.
  if (zenpo::RunningTransferWorkers() > 0) {
    std::fflush(nullptr);
    std::_Exit(status);
  }
  return status;
}
