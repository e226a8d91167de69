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

bool ownsConsoleWindow() noexcept {
    // The monitor alone: no command prompt shares the console and keeps it open.
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

void waitForKeyPress() noexcept {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    FlushConsoleInputBuffer(input);
    INPUT_RECORD event;
    DWORD count = 0;
    while (ReadConsoleInputW(input, &event, 1, &count) && count == 1) {
        if (event.EventType == KEY_EVENT && event.Event.KeyEvent.bKeyDown) return;
    }
}

}  // namespace corvane
