#include "driver/console.h"

#include "common/windows_support.h"

#include <climits>
#include <ostream>
#include <string>

namespace corvane {

int standardOutputConsoleWidth() noexcept {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 0;
    // Text wraps at the buffer's width, which may exceed the window's.
    return info.dwSize.X > 0 ? info.dwSize.X : 0;
}

namespace {

bool errorIsConsole() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void writeConsole(std::string_view text) {
    if (text.empty() || text.size() > INT_MAX) return;
    const HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
    const int bytes = static_cast<int>(text.size());
    const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, nullptr, 0);
    if (units <= 0) return;
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, wide.data(), units);
    DWORD written = 0;
    WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}

}  // namespace

void writeToErrorConsole(std::string_view text) {
    if (errorIsConsole()) writeConsole(text);
}

void writeErrorText(std::ostream& err, std::string_view text) {
    if (!errorIsConsole()) {
        err << text;
        return;
    }
    err.flush();  // keeps its place among the stream's messages
    writeConsole(text);
}

}  // namespace corvane
