#include "tools/link_monitor/console.h"

#include "common/windows_support.h"

namespace corvane {

ConsoleSetup::ConsoleSetup() noexcept {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    // Output into a pipe or file needs nothing, and has no mode to set.
    if (output == nullptr || output == INVALID_HANDLE_VALUE || !GetConsoleMode(output, &mode)) {
        return;
    }
    savedMode_ = mode;
    savedCodePage_ = GetConsoleOutputCP();
    changed_ = true;
    SetConsoleMode(output, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    SetConsoleOutputCP(CP_UTF8);
}

ConsoleSetup::~ConsoleSetup() {
    if (!changed_) return;
    SetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), savedMode_);
    if (savedCodePage_ != 0) SetConsoleOutputCP(savedCodePage_);
}

}  // namespace corvane
