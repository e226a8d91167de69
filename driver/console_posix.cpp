#include "driver/console.h"

#include <cstdio>
#include <ostream>

#include <sys/ioctl.h>
#include <unistd.h>

namespace corvane {

int standardOutputConsoleWidth() noexcept {
    if (isatty(STDOUT_FILENO) == 0) return 0;
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
}

void writeToErrorConsole(std::string_view text) {
    if (isatty(STDERR_FILENO) == 0) return;
    // Through stdio, so it keeps its place among std::cerr's messages.
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

void writeErrorText(std::ostream& err, std::string_view text) { err << text; }

}  // namespace corvane
