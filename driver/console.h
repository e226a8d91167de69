#pragma once
// What the bridge asks of the console it runs in, answered from the process's
// real standard output and standard error.

#include <iosfwd>
#include <string_view>

namespace corvane {

// The columns of the console that standard output writes to, read anew on
// every call so a resized window follows; 0 when standard output is no console
// (a file or a pipe) or its width is unknown.
int standardOutputConsoleWidth() noexcept;

// Writes UTF-8 `text` to standard error only when standard error is a console,
// never when it is redirected. A Windows console gets it as UTF-16, so names
// in every script show as typed.
void writeToErrorConsole(std::string_view text);

// Writes UTF-8 `text` (a message that may quote what the player typed) to
// standard error: on a Windows console as UTF-16, so it shows as typed;
// everywhere else its bytes go to `err` unchanged.
void writeErrorText(std::ostream& err, std::string_view text);

}  // namespace corvane
