#include "tools/link_monitor/console.h"

#include <iostream>
#include <utility>

namespace corvane {

// Terminals understand the escape sequences and UTF-8 as they are.
struct MonitorConsole::State {
    bool drawn = false;
};

MonitorConsole::MonitorConsole() : state_(std::make_unique<State>()) {}
MonitorConsole::~MonitorConsole() = default;

bool MonitorConsole::draw(std::string_view view) {
    return write(redrawnWithEscapes(view, !std::exchange(state_->drawn, true)));
}

bool MonitorConsole::write(std::string_view text) {
    std::cout << text;
    std::cout.flush();
    return static_cast<bool>(std::cout);
}

// A terminal outlives the programs it runs.
bool ownsConsoleWindow() noexcept { return false; }
void waitForKeyPress() noexcept {}

}  // namespace corvane
