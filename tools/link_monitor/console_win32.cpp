#include "tools/link_monitor/console.h"

#include "common/console_win32.h"
#include "common/windows_support.h"

#include <algorithm>
#include <iostream>
#include <string>
#include <utility>

namespace corvane {

// How a console window gets the view: its cursor placed by the console API
// (every console), escape sequences where only they work, or the view written
// again below the last where neither does.
enum class Drawing { Redirected, Cursor, Escapes, Plain };

namespace {

// The rows a view drawn by the cursor takes.
struct Rows {
    SHORT top = 0;  // the view's first
    SHORT end = 0;  // the one below its last
};

// Blanks from `from` on, `count` characters, without moving the cursor.
void blank(HANDLE output, COORD from, DWORD count) {
    DWORD done = 0;
    if (count > 0) FillConsoleOutputCharacterW(output, L' ', count, from, &done);
}

// Each line over the one drawn there before, the rest of its row blanked,
// then the rows the previous view took below this one.
bool drawWithCursor(HANDLE output, std::string_view view, bool first, Rows& rows) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(output, &info)) return false;
    if (first) {  // below what the window shows, from the start of a row
        if (info.dwCursorPosition.X != 0 &&
            (!writeConsoleUtf8(output, "\n") || !GetConsoleScreenBufferInfo(output, &info))) {
            return false;
        }
        rows.top = rows.end = info.dwCursorPosition.Y;
    }
    // A buffer made smaller meanwhile keeps the view on its last rows.
    rows.top = std::min<SHORT>(rows.top, static_cast<SHORT>(info.dwSize.Y - 1));
    if (!SetConsoleCursorPosition(output, COORD{0, rows.top})) return false;
    for (std::size_t start = 0, end = view.find('\n'); end != std::string_view::npos;
         start = end + 1, end = view.find('\n', start)) {
        if (!writeConsoleUtf8(output, view.substr(start, end - start)) ||
            !GetConsoleScreenBufferInfo(output, &info)) {
            return false;
        }
        const COORD at = info.dwCursorPosition;
        blank(output, at, static_cast<DWORD>(info.dwSize.X - at.X));
        // A line feed on the buffer's last row moves everything up one row.
        if (at.Y == info.dwSize.Y - 1 && rows.top > 0) --rows.top;
        if (!writeConsoleUtf8(output, "\n")) return false;
    }
    if (!GetConsoleScreenBufferInfo(output, &info)) return false;
    const SHORT row = info.dwCursorPosition.Y;
    if (row < rows.end) blank(output, COORD{0, row}, static_cast<DWORD>((rows.end - row) * info.dwSize.X));
    rows.end = row;
    return true;
}

}  // namespace

struct MonitorConsole::State {
    HANDLE output = nullptr;
    Drawing drawing = Drawing::Redirected;
    DWORD savedMode = 0;
    bool drawn = false;
    Rows rows;  // Drawing::Cursor
};

MonitorConsole::MonitorConsole() : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    // A file or a pipe has no mode, and gets the bytes as they are.
    if (s.output == nullptr || s.output == INVALID_HANDLE_VALUE || !GetConsoleMode(s.output, &mode)) {
        return;
    }
    s.savedMode = mode;
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(s.output, &info)) {
        s.drawing = Drawing::Cursor;
        SetConsoleMode(s.output, mode | ENABLE_PROCESSED_OUTPUT);  // "\n" starts the next row
    } else if (SetConsoleMode(s.output, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
        s.drawing = Drawing::Escapes;
    } else {
        s.drawing = Drawing::Plain;
    }
}

MonitorConsole::~MonitorConsole() {
    if (state_->drawing != Drawing::Redirected) SetConsoleMode(state_->output, state_->savedMode);
}

bool MonitorConsole::draw(std::string_view view) {
    State& s = *state_;
    const bool first = !std::exchange(s.drawn, true);
    switch (s.drawing) {
    case Drawing::Redirected:
        return write(redrawnWithEscapes(view, first));
    case Drawing::Cursor:
        return drawWithCursor(s.output, view, first, s.rows);
    case Drawing::Escapes:
        return writeConsoleUtf8(s.output, redrawnWithEscapes(view, first));
    case Drawing::Plain:  // below the one before, a blank line between
        return (first || writeConsoleUtf8(s.output, "\n")) && writeConsoleUtf8(s.output, view);
    }
    return false;
}

bool MonitorConsole::write(std::string_view text) {
    if (state_->drawing != Drawing::Redirected) return writeConsoleUtf8(state_->output, text);
    std::cout << text;
    std::cout.flush();
    return static_cast<bool>(std::cout);
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
