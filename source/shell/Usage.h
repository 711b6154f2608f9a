// "--help" and "--version": answered before the program touches the display, the lock or a file.
#pragma once

#include <optional>

class CCommandLine;

namespace tvc::shell {
// Prints the usage or the version to standard output when the command line asks for either and
// returns the exit code; nothing when the program should start.
std::optional<int> AnswerInformationSwitches(const CCommandLine& commandLine);
}  // namespace tvc::shell
