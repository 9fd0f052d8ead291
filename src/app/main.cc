// The program's entry: paths, settings, the start and end reports.
#include <string>

#include "config/program_paths.h"
#include "config/settings.h"
#include "report/report_message.h"

int main(int argc, char** argv) {
  using namespace zenpo;
  BuildProgramPaths();
  LoadSettings();
  if (ReportMessage(L"ZENPOの常駐を開始します", level::kFailure, level::kShown) ==
      rc::kLogUnusable) {
    return rc::kLogUnusable;
  }
  if (ReportMessage(L"ZENPOの常駐を解除します", level::kFailure, level::kShown) ==
      rc::kLogUnusable) {
    return rc::kLogUnusable;
  }
  return 0;
}
