#include "driver/pacing.h"

#include <limits>

namespace corvane {

std::int64_t pauseDeadline(std::int64_t t0) noexcept {
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    return t0 >= kMax - kCyclePauseNs ? kMax : t0 + kCyclePauseNs;
}

std::uint32_t sleepMillisecondsFor(std::int64_t remaining) noexcept {
    if (remaining > kOneDayNs) return kOneDayMs;
    return static_cast<std::uint32_t>((remaining + 999'999) / 1'000'000);
}

void pauseUntil(std::int64_t deadline, PauseClock& clock) noexcept {
    for (std::int64_t now = clock.now(); now < deadline; now = clock.now()) {
        clock.sleep(sleepMillisecondsFor(deadline - now));
    }
}

void pauseAfterCycle() noexcept {
    struct RealClock final : PauseClock {
        std::int64_t now() noexcept override { return monotonicNanoseconds(); }
        void sleep(std::uint32_t milliseconds) noexcept override { sleepMilliseconds(milliseconds); }
    } clock;
    pauseUntil(pauseDeadline(clock.now()), clock);
}

}  // namespace corvane
