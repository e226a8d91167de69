#pragma once
// The game command after "--", as the player reads it on the start line and
// as Windows is given it to start.

#include <string>
#include <vector>

namespace corvane {

// The command as one line, each argument written so that the Microsoft C
// runtime and CommandLineToArgvW read it back unchanged: quoted where it is
// empty or holds white space or a quote, a quote escaped with a backslash,
// backslashes doubled only before a quote. The program comes first, quoted
// plainly where it holds white space, as Windows reads a program's name.
std::string quotedCommandLine(const std::vector<std::string>& command);

}  // namespace corvane
