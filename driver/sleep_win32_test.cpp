#include "driver/sleep_win32.h"

#include "driver/pacing.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace corvane {
namespace {

// Both ways of sleeping (the bridge under Wine takes the plain one) may run
// long on a busy machine, never short.
TEST(WindowsSleep, NeverEndsBeforeItsTime) {
    for (const std::uint32_t ms : {1u, 2u, 7u, 20u}) {
        std::int64_t before = monotonicNanoseconds();
        sleepMilliseconds(ms);
        EXPECT_GE(monotonicNanoseconds() - before, std::int64_t{ms} * 1'000'000) << ms << " ms";
        before = monotonicNanoseconds();
        if (!sleepOnHighResolutionTimer(ms)) continue;  // no such timer on this system
        EXPECT_GE(monotonicNanoseconds() - before, std::int64_t{ms} * 1'000'000) << ms << " ms";
    }
}

}  // namespace
}  // namespace corvane
