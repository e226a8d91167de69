#pragma once
// The process's standard output and standard error as the bridge writes to
// them: whether each is a console, how wide standard output's console is, and
// one blocking write of UTF-8 text.

#include <string_view>

namespace corvane {

enum class StandardStream { Output, Error };

// Whether the stream is a console (a terminal), not a file or a pipe.
bool isConsole(StandardStream stream) noexcept;

// Whether standard output and standard error reach one console, file or pipe
// (as with "2>&1"), so that what is written to both shows in one order.
bool standardStreamsShareDestination() noexcept;

// The columns of the console that standard output writes to, read anew on
// every call so a resized window follows; 0 when standard output is no console
// (a file or a pipe) or its width is unknown.
int standardOutputConsoleWidth() noexcept;

// Writes UTF-8 `text` whole, waiting as long as the reader makes it wait: a
// Windows console gets it as UTF-16, so names in every script show as typed;
// elsewhere the bytes go unchanged, with Windows' "\r\n" for each "\n" where
// the C runtime writes that (a file or a pipe on Windows). False when the
// stream is closed or gone.
bool writeStandardStream(StandardStream stream, std::string_view text) noexcept;

}  // namespace corvane
