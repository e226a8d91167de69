#include "tools/link_monitor/console.h"

namespace corvane {

// Terminals understand ANSI escapes and UTF-8 already.
ConsoleSetup::ConsoleSetup() noexcept = default;
ConsoleSetup::~ConsoleSetup() = default;

// A terminal outlives the programs it runs.
bool ownsConsoleWindow() noexcept { return false; }
void waitForKeyPress() noexcept {}

}  // namespace corvane
