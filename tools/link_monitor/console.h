#pragma once
// The monitor's standard output: its live view drawn in place, and text
// written as it is. Redirected to a file or a pipe, the bytes are the same on
// every platform: the view redrawn with ANSI escape sequences. A terminal
// takes those bytes too; a Windows console gets the text as UTF-16 through the
// console API, so names show right whatever its code page, and the view is
// placed with the console's cursor (or escape sequences, or plainly drawn
// again, as the console allows). What was changed on the console comes back
// on destruction.

#include <memory>
#include <string>
#include <string_view>

namespace corvane {

// The view (lines that each end in a line feed) as redrawn bytes: the first
// time the screen cleared first, then home, each line cleared to its end, and
// everything below the view cleared.
std::string redrawnWithEscapes(std::string_view view, bool first);

class MonitorConsole {
public:
    MonitorConsole();
    ~MonitorConsole();
    MonitorConsole(const MonitorConsole&) = delete;
    MonitorConsole& operator=(const MonitorConsole&) = delete;

    // Shows `view` in place of the one drawn before. False when the output
    // is gone (whoever read it has gone).
    bool draw(std::string_view view);
    // Writes `text` as it is, after anything drawn. False as for draw.
    bool write(std::string_view text);

private:
    struct State;  // the platform's
    std::unique_ptr<State> state_;
};

// Whether the monitor runs in a console window of its own, which closes when
// it exits: on Windows, started by a double-click. Never elsewhere.
bool ownsConsoleWindow() noexcept;
// Returns once a key is pressed on the console (or its input fails).
void waitForKeyPress() noexcept;

}  // namespace corvane
