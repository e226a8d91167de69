#include "driver/signals.h"
#include "driver/signals_win32.h"

#include "common/windows_support.h"

#include <atomic>
#include <csignal>

namespace corvane {
namespace {

// Windows gives close, logoff and shutdown about five seconds before it ends
// the process; the stop frame comes within a cycle, so this leaves room.
constexpr std::chrono::milliseconds kStopFrameWait{3000};

std::atomic<void (*)(int)> g_onStop{nullptr};
// Set once the stop frame is published, and stays set. It lives as long as the
// process: a handler may wait on it until the very end.
std::atomic<HANDLE> g_stopHandled{nullptr};

BOOL WINAPI onConsoleControl(DWORD event) {
    return handleConsoleControl(event, kStopFrameWait) ? TRUE : FALSE;
}

}  // namespace

bool handleConsoleControl(std::uint32_t event, std::chrono::milliseconds wait) noexcept {
    bool ends = false;  // the process ends when the handler returns
    int signal = SIGINT;
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        break;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        ends = true;
        signal = SIGTERM;
        break;
    default:
        return false;
    }
    if (const auto onStop = g_onStop.load()) onStop(signal);
    if (const HANDLE handled = g_stopHandled.load(); ends && handled != nullptr) {
        WaitForSingleObject(handled, static_cast<DWORD>(wait.count()));
    }
    return true;
}

// The console's own events rather than the C runtime's signals: the runtime
// turns Ctrl-Break into SIGBREAK, and closing the window, logoff and shutdown
// into nothing at all, so the process ended where it stood. SIGINT and SIGTERM
// stay for raise().
void installStopSignals(void (*onStop)(int)) noexcept {
    g_onStop.store(onStop);
    if (g_stopHandled.load() == nullptr) g_stopHandled.store(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::signal(SIGINT, onStop);
    std::signal(SIGTERM, onStop);
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

// The console's close, logoff and shutdown arrive as SIGTERM, Ctrl-C and Ctrl-Break as SIGINT.
std::string stopSignalName(int signal) {
    if (signal == SIGINT) return "Ctrl-C";
    if (signal == SIGTERM) return "the console's close, logoff or shutdown";
    return "signal " + std::to_string(signal);
}

// Windows has no signal for a failed write: it fails by itself.
void ignoreWriteSignals() noexcept {}

void stopHandled() noexcept {
    if (const HANDLE handled = g_stopHandled.load()) SetEvent(handled);
}

}  // namespace corvane
