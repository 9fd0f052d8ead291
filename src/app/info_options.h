// The two options every Linux program answers, --help and --version. Neither holds a
// capital R or M, so the letters that mark a restart or an additional instance keep
// counting in every other argument.
#pragma once

#include <string>
#include <vector>

namespace zenpo {

enum class InfoOption { kNone, kHelp, kVersion };

// The first of the program's arguments that is exactly "--help" or "--version"; with
// either the program prints its text and ends without starting.
InfoOption FindInfoOption(const std::vector<std::string>& args);

// The text printed for the option, ending with a line feed.
std::string InfoText(InfoOption option);

}  // namespace zenpo
