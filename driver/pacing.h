#pragma once
// The pause after each cycle: at least 20 ms from the clock reading taken
// after publishing, slept in whole milliseconds, never busy-waited.

#include "common/clock.h"

#include <cstdint>

namespace corvane {

inline constexpr std::int64_t kCyclePauseNs = 20'000'000;
inline constexpr std::int64_t kOneDayNs = 86'400'000'000'000;
inline constexpr std::uint32_t kOneDayMs = 86'400'000;

// t0 + 20 ms, saturated at the largest value instead of overflowing.
std::int64_t pauseDeadline(std::int64_t t0) noexcept;

// The whole milliseconds to sleep for `remaining` (> 0) nanoseconds: rounded
// up, and capped at one day.
std::uint32_t sleepMillisecondsFor(std::int64_t remaining) noexcept;

// Clock and sleep as the pause sees them, so tests can drive it.
struct PauseClock {
    virtual ~PauseClock() = default;
    virtual std::int64_t now() noexcept = 0;
    virtual void sleep(std::uint32_t milliseconds) noexcept = 0;
};

// Returns once the clock reads at or after `deadline`.
void pauseUntil(std::int64_t deadline, PauseClock& clock) noexcept;

// The cycle's pause on the real clock.
void pauseAfterCycle() noexcept;

}  // namespace corvane
