// The texts of --help and --version; ZENPO_VERSION comes from the CMake project version.
#include "app/info_options.h"

namespace zenpo {

InfoOption FindInfoOption(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--help") return InfoOption::kHelp;
    if (arg == "--version") return InfoOption::kVersion;
  }
  return InfoOption::kNone;
}

std::string InfoText(InfoOption option) {
  if (option == InfoOption::kVersion) return "zenpo " ZENPO_VERSION "\n";
  if (option == InfoOption::kNone) return "";
  return R"(Usage: zenpo [R] [M]
       zenpo --add URL...
       zenpo --help | --version

An unattended HTTP downloader. zenpo works through the list of URLs in ZENPO.txt one
entry at a time: it resumes partial files, skips complete ones, gives each file the
server's time and writes a three-digit result code into the entry's line.

Files: ZENPO.ini (settings), ZENPO.txt (the list) and the hooks lie in the program
directory: $ZENPO_HOME when set; otherwise, for a zenpo installed in a bin folder
beside share/doc/zenpo, ${XDG_DATA_HOME:-~/.local/share}/zenpo; otherwise the folder
that holds the zenpo program. Downloads and ZENPO.log go to DLPath (default: the
program directory).

Arguments: a capital R anywhere in them marks the restart of an instance, a capital M
an additional instance. Nothing else is read from the command line, except:

  --add URL...  append each URL to ZENPO.txt as a line of its own and end without
                starting; a running instance takes them at its next pass. Waits about
                two seconds for a list in use. Status 0 when every URL was queued, 1
                when an argument was no download URL (the others were queued),
                2 without a URL, else the list's code (161: still in use or missing).

Signals: SIGINT, SIGTERM and SIGHUP end the program as EXIT does (one ignored at the
start, as under nohup, stays ignored); SIGUSR1 pauses and resumes it.

Exit status: the last result code; 300, 400, 500 and 600 end as 30 to 60, 899 as 89
and 900 to 903 as 90 to 93. A second start ends with 0, an unusable log with 102. The full table is
in zenpo(1).
)";
}

}  // namespace zenpo
