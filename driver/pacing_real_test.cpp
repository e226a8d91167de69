#include "driver/pacing.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace corvane {
namespace {

// The real clock and sleep must never let a pause end early: the 20 ms cycle
// is a lower bound. No upper bounds here; a busy machine may oversleep.
TEST(RealPacing, SleepNeverEndsBeforeItsTime) {
    for (const std::uint32_t ms : {1u, 1u, 2u, 3u, 7u, 16u, 20u}) {
        const std::int64_t before = monotonicNanoseconds();
        sleepMilliseconds(ms);
        const std::int64_t slept = monotonicNanoseconds() - before;
        EXPECT_GE(slept, std::int64_t{ms} * 1'000'000) << ms << " ms";
    }
}

TEST(RealPacing, CyclePauseLastsAtLeastTwentyMilliseconds) {
    for (int i = 0; i < 5; ++i) {
        const std::int64_t before = monotonicNanoseconds();
        pauseAfterCycle();
        EXPECT_GE(monotonicNanoseconds() - before, kCyclePauseNs) << "pause " << i;
    }
}

TEST(RealPacing, PauseEndsAtOrAfterAnOddDeadline) {
    struct RealClock final : PauseClock {
        std::int64_t now() noexcept override { return monotonicNanoseconds(); }
        void sleep(std::uint32_t milliseconds) noexcept override {
            sleepMilliseconds(milliseconds);
        }
    } clock;
    // Deadlines between whole milliseconds make the pause round up and re-check.
    for (const std::int64_t offset : {1, 999'999, 1'000'001, 2'500'000}) {
        const std::int64_t deadline = monotonicNanoseconds() + offset;
        pauseUntil(deadline, clock);
        EXPECT_GE(monotonicNanoseconds(), deadline) << offset << " ns";
    }
}

}  // namespace
}  // namespace corvane
