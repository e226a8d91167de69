#include "driver/sleep_win32.h"

#include "driver/pacing.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace corvane {
namespace {

// The bridge under Wine sleeps the plain way; the timer must hold up on its own.
TEST(TimerSleep, NeverEndsBeforeItsTime) {
    for (const std::uint32_t ms : {1u, 2u, 7u, 20u, 20u}) {
        const std::int64_t before = monotonicNanoseconds();
        if (!sleepOnHighResolutionTimer(ms)) GTEST_SKIP() << "no high-resolution timer here";
        EXPECT_GE(monotonicNanoseconds() - before, std::int64_t{ms} * 1'000'000) << ms << " ms";
    }
}

}  // namespace
}  // namespace corvane
