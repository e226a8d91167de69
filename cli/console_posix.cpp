#include "cli/console.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace corvane {
namespace {

int descriptor(StandardStream stream) {
    return stream == StandardStream::Output ? STDOUT_FILENO : STDERR_FILENO;
}

}  // namespace

bool isConsole(StandardStream stream) noexcept { return isatty(descriptor(stream)) != 0; }

bool standardStreamsShareDestination() noexcept {
    struct stat output {};
    struct stat error {};
    if (fstat(STDOUT_FILENO, &output) != 0 || fstat(STDERR_FILENO, &error) != 0) return false;
    return output.st_dev == error.st_dev && output.st_ino == error.st_ino;
}

int standardOutputConsoleWidth() noexcept {
    if (!isConsole(StandardStream::Output)) return 0;
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
}

bool writeStandardStream(StandardStream stream, std::string_view text) noexcept {
    while (!text.empty()) {
        const ssize_t written = ::write(descriptor(stream), text.data(), text.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;  // a closed pipe (SIGPIPE is ignored), a closed terminal
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace corvane
