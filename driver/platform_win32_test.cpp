// The driver's Windows layer: the pause's two ways of sleeping.

#include "common/sleep_win32.h"
#include "driver/pacing.h"

#include <gtest/gtest.h>

#include <cstdint>

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

}  // namespace
}  // namespace corvane
