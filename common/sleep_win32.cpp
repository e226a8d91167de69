#include "common/sleep_win32.h"

#include "common/windows_support.h"
#include "common/clock.h"

#include <chrono>
#include <ratio>

namespace corvane {
namespace {

using Clock = std::chrono::steady_clock;
// SetWaitableTimer counts in 100 ns units.
using TimerTicks = std::chrono::duration<LONGLONG, std::ratio<1, 10'000'000>>;

// CREATE_WAITABLE_TIMER_HIGH_RESOLUTION (Windows 10 1803 and later), which the
// mingw-w64 headers do not name yet. Such a timer is not tied to the 15.6 ms
// system tick, under which Sleep(20) lasts about 31 ms.
constexpr DWORD kHighResolutionTimer = 0x00000002;

// Wine is the exception: its Sleep runs in the calling process and is exact to
// a few microseconds, while its timer objects live in wineserver and fire on
// whole milliseconds, about 0.35 ms late; enough to drop the loop below 49
// cycles a second.
bool plainSleepIsPrecise() noexcept {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

class PauseTimer {
public:
    PauseTimer() noexcept
        : timer_(CreateWaitableTimerExW(nullptr, nullptr, kHighResolutionTimer,
                                        TIMER_ALL_ACCESS)) {}

    bool exists() const noexcept { return static_cast<bool>(timer_); }

    // Waits until the steady clock reaches `deadline`. False when there is no
    // timer or it failed; the caller then sleeps the plain way.
    bool waitUntil(Clock::time_point deadline) noexcept {
        if (!timer_) return false;
        // The timer runs on the interrupt clock, not the steady clock, so it
        // may fire a hair early: wait again for whatever is left.
        for (auto now = Clock::now(); now < deadline; now = Clock::now()) {
            LARGE_INTEGER due;
            due.QuadPart = -std::chrono::ceil<TimerTicks>(deadline - now).count();  // relative
            if (!SetWaitableTimer(timer_.get(), &due, 0, nullptr, nullptr, FALSE) ||
                WaitForSingleObject(timer_.get(), INFINITE) != WAIT_OBJECT_0) {
                return false;
            }
        }
        return true;
    }

private:
    UniqueNullHandle timer_;
};

// One timer serves one waiter at a time: only the bridge loop's thread paces.
PauseTimer& pauseTimer() noexcept {
    static PauseTimer timer;  // created on first use and kept for the run
    return timer;
}

Clock::time_point deadlineIn(std::uint32_t milliseconds) noexcept {
    return Clock::now() + std::chrono::milliseconds(milliseconds);
}

void plainSleepUntil(Clock::time_point deadline) noexcept {
    // Sleep may end a little early for waits shorter than a system tick.
    for (auto now = Clock::now(); now < deadline; now = Clock::now()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        Sleep(static_cast<DWORD>(left.count()));
    }
}

}  // namespace

bool sleepOnHighResolutionTimer(std::uint32_t milliseconds) noexcept {
    PauseTimer& timer = pauseTimer();
    if (!timer.exists()) return false;
    const Clock::time_point deadline = deadlineIn(milliseconds);
    if (!timer.waitUntil(deadline)) plainSleepUntil(deadline);
    return true;
}

void sleepMilliseconds(std::uint32_t milliseconds) noexcept {
    static const bool plainIsPrecise = plainSleepIsPrecise();
    const Clock::time_point deadline = deadlineIn(milliseconds);
    if (!plainIsPrecise && pauseTimer().waitUntil(deadline)) return;
    plainSleepUntil(deadline);
}

}  // namespace corvane
