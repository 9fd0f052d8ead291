// The program's entry: the arguments become the command line.
#include <string>

#include "app/exit_status.h"
#include "app/start_up.h"
#include "platform/text.h"

int main(int argc, char** argv) {
  std::string command_line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) command_line += ' ';
    command_line += argv[i];
  }
  return zenpo::ExitStatusFor(zenpo::RunZenpo(zenpo::platform::FromCodePage(command_line)));
}
