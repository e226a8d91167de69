// The driver's Windows layer: the pause's two ways of sleeping, the console's
// stop events, and the game command's job.

#include "common/sleep_win32.h"
#include "common/windows_support.h"
#include "driver/game_launch.h"
#include "driver/pacing.h"
#include "driver/signals.h"
#include "driver/signals_win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <tuple>

namespace corvane {
namespace {

// The timer way, which the bridge under Wine does not take (the plain way is
// timed by the bridge's frame rate end to end), may run long on a busy machine,
// never short.
TEST(WindowsSleep, TimerNeverEndsBeforeItsTime) {
    for (const std::uint32_t ms : {1u, 2u, 7u, 20u, 20u}) {
        const std::int64_t before = monotonicNanoseconds();
        if (!sleepOnHighResolutionTimer(ms)) GTEST_SKIP() << "no high-resolution timer here";
        EXPECT_GE(monotonicNanoseconds() - before, std::int64_t{ms} * 1'000'000) << ms << " ms";
    }
}

// The signals of the stops, two decimal digits each: one stop reads as its signal.
std::atomic<int> g_stops{0};
extern "C" void countStop(int signal) { g_stops = g_stops * 100 + signal; }

// Wine delivers none of these events to a process of its own (Ctrl-Break not
// at all), so the handler is driven directly. Closing the window, logoff and
// shutdown end the process once the handler returns: they wait for the stop
// frame, but not for ever, and not once it is published.
TEST(WindowsConsoleControl, EveryStopReachesTheBridgeAndTheFinalOnesAwaitTheStopFrame) {
    installStopSignals(countStop);
    using namespace std::chrono;
    // (event, handled, the stop's signal, waits)
    const std::tuple<DWORD, bool, int, bool> rows[] = {
        {CTRL_C_EVENT, true, SIGINT, false}, {CTRL_BREAK_EVENT, true, SIGINT, false},
        {CTRL_CLOSE_EVENT, true, SIGTERM, true}, {CTRL_LOGOFF_EVENT, true, SIGTERM, true},
        {CTRL_SHUTDOWN_EVENT, true, SIGTERM, true}, {3, false, 0, false},
    };
    for (const auto& [event, handled, signal, waits] : rows) {
        g_stops = 0;
        const auto start = steady_clock::now();
        EXPECT_EQ(handleConsoleControl(event, milliseconds{300}), handled) << event;
        EXPECT_EQ(std::tuple(g_stops.load(), steady_clock::now() - start >= milliseconds{290}),
                  std::tuple(signal, waits)) << event;
    }
    std::thread published([] {
        std::this_thread::sleep_for(milliseconds{100});
        stopHandled();
    });
    const auto start = steady_clock::now();
    EXPECT_TRUE(handleConsoleControl(CTRL_CLOSE_EVENT, seconds{20}) && handleConsoleControl(CTRL_SHUTDOWN_EVENT, seconds{20}));
    EXPECT_LT(steady_clock::now() - start, seconds{5});
    published.join();
}

// The game command's side of the next test: a launcher or updater that
// starts its program outside the job, as Windows lets only a job that allows it.
TEST(WindowsJob, ChildThatAsksToBreakAway) {
    if (std::getenv("CORVANE_BREAKAWAY_CHILD") == nullptr) GTEST_SKIP() << "run by the next test";
    std::wstring line = L"cmd /c exit 0";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_BREAKAWAY_FROM_JOB, nullptr,
                               nullptr, &startup, &info)) << "Win32 error " << GetLastError();
}  // its handles end with this process

// A command whose child asks to leave the job starts it; the command's code comes back.
TEST(WindowsJob, ACommandWhoseChildAsksToBreakAwayRuns) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);  // ASCII, as the build folder is
    SetEnvironmentVariableW(L"CORVANE_BREAKAWAY_CHILD", L"1");
    GameLaunch launch;
    ASSERT_TRUE(launch.start({self, "--gtest_filter=WindowsJob.ChildThatAsksToBreakAway"})) << launch.lastError();
    SetEnvironmentVariableW(L"CORVANE_BREAKAWAY_CHILD", nullptr);
    std::optional<CommandEnd> end;
    for (int i = 0; i < 3000 && !(end = launch.end()); ++i) Sleep(10);
    EXPECT_EQ(end.value_or(CommandEnd{-1}).code, 0) << "the child could not leave the job";
}

}  // namespace
}  // namespace corvane
