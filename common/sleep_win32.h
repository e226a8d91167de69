#pragma once
// The Windows sleep's timer path on its own, so that its tests reach it where
// sleepMilliseconds would not take it (under Wine).

#include <cstdint>

namespace corvane {

// Sleeps at least `milliseconds` on a high-resolution waitable timer. False,
// without sleeping, when the system cannot create one.
bool sleepOnHighResolutionTimer(std::uint32_t milliseconds) noexcept;

}  // namespace corvane
