// The program's entry: the arguments become the command line.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/exit_status.h"
#include "app/start_up.h"
#include "engine/transfer_workers.h"
#include "platform/text.h"

int main(int argc, char** argv) {
  std::string command_line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) command_line += ' ';
    command_line += argv[i];
  }
  const int status =
      zenpo::ExitStatusFor(zenpo::RunZenpo(zenpo::platform::FromCodePage(command_line)));
  // A network call that hung was abandoned, not ended: its thread may still use the
  // program's records, so they are not torn down under it.
  if (zenpo::RunningTransferWorkers() > 0) {
    std::fflush(nullptr);
    std::_Exit(status);
  }
  return status;
}
