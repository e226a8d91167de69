#pragma once
// The one clock and the one sleep every program here uses: the bridge's pace,
// the monitor's frame rate.

#include <cstdint>

namespace corvane {

// The steady clock in signed 64-bit nanoseconds.
std::int64_t monotonicNanoseconds() noexcept;

// Sleeps at least `milliseconds` (the platform's sleep).
void sleepMilliseconds(std::uint32_t milliseconds) noexcept;

}  // namespace corvane
