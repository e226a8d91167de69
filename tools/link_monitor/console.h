#pragma once
// The console as the monitor needs it: ANSI escape sequences understood and
// UTF-8 shown as text. Only Windows consoles need telling; the previous
// settings come back on destruction.

#include <cstdint>

namespace corvane {

class ConsoleSetup {
public:
    ConsoleSetup() noexcept;
    ~ConsoleSetup();
    ConsoleSetup(const ConsoleSetup&) = delete;
    ConsoleSetup& operator=(const ConsoleSetup&) = delete;

private:
    // Used by the Windows implementation only.
    [[maybe_unused]] bool changed_ = false;
    [[maybe_unused]] std::uint32_t savedMode_ = 0;
    [[maybe_unused]] std::uint32_t savedCodePage_ = 0;
};

// Whether the monitor runs in a console window of its own, which closes when
// it exits: on Windows, started by a double-click. Never elsewhere.
bool ownsConsoleWindow() noexcept;
// Returns once a key is pressed on the console (or its input fails).
void waitForKeyPress() noexcept;

}  // namespace corvane
