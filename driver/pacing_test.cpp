#include "driver/pacing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace corvane {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

TEST(PauseDeadline, AddsTwentyMillisecondsAndSaturates) {
    const std::pair<std::int64_t, std::int64_t> cases[] = {
        {0, 20'000'000},       {kMin, kMin + 20'000'000}, {kMax - 20'000'001, kMax - 1},
        {kMax - 20'000'000, kMax}, {kMax, kMax},
    };
    for (const auto& [t0, deadline] : cases) EXPECT_EQ(pauseDeadline(t0), deadline) << t0;
}

TEST(SleepMillisecondsFor, RoundsUpAndCapsAtOneDay) {
    const std::pair<std::int64_t, std::uint32_t> cases[] = {
        {1, 1},          {1'000'000, 1},           {1'000'001, 2},          {20'000'000, 20},
        {kOneDayNs - 1, kOneDayMs}, {kOneDayNs + 1, kOneDayMs}, {kMax, kOneDayMs},
    };
    for (const auto& [ns, ms] : cases) EXPECT_EQ(sleepMillisecondsFor(ns), ms) << ns;
}

// Moves only when slept on (so a busy wait would never end): by `percent` of the
// slept time plus `extra` ns, so sleeps can come back late or early.
struct FakeClock final : PauseClock {
    FakeClock(std::int64_t start, std::int64_t scale, std::int64_t offset)
        : time(start), percent(scale), extra(offset) {}
    std::int64_t now() noexcept override { return time; }
    void sleep(std::uint32_t milliseconds) noexcept override {
        sleeps.push_back(milliseconds);
        const std::int64_t step = std::int64_t{milliseconds} * 1'000'000 * percent / 100 + extra;
        time = step > kMax - time ? kMax : time + step;
    }
    std::int64_t time, percent, extra;
    std::vector<std::uint32_t> sleeps;
};

TEST(PauseUntil, SleepsWholeMillisecondsUntilTheDeadline) {
    const struct {
        const char* what;
        std::int64_t start, deadline, percent, extra;
        std::vector<std::uint32_t> sleeps;
    } cases[] = {
        {"exact sleep", 0, 20'000'000, 100, 0, {20}},
        {"partial millisecond rounded up", 400, 20'000'000, 100, 0, {20}},
        {"slightly early", 0, 20'000'000, 100, -100'000, {20, 1}},
        {"half the time", 0, 20'000'000, 50, 0, {20, 10, 5, 3, 1, 1}},
        {"deadline now", 20'000'000, 20'000'000, 100, 0, {}},
        {"two days", 0, 2 * kOneDayNs, 100, 0, {kOneDayMs, kOneDayMs}},
        {"near the end of time", kMax - 5, kMax, 100, 0, {1}},
    };
    for (const auto& c : cases) {
        FakeClock clock(c.start, c.percent, c.extra);
        pauseUntil(c.deadline, clock);
        EXPECT_EQ(clock.sleeps, c.sleeps) << c.what;
        EXPECT_GE(clock.time, c.deadline) << c.what;
    }
}

// On the real clock a pause may run long on a busy machine, never short.
TEST(RealPacing, NeverEndsBeforeItsTime) {
    for (const std::uint32_t ms : {1u, 2u, 3u, 7u, 20u}) {
        const std::int64_t before = monotonicNanoseconds();
        sleepMilliseconds(ms);
        EXPECT_GE(monotonicNanoseconds() - before, std::int64_t{ms} * 1'000'000) << ms << " ms";
    }
    const std::int64_t before = monotonicNanoseconds();
    pauseAfterCycle();
    EXPECT_GE(monotonicNanoseconds() - before, kCyclePauseNs) << "the cycle's pause";
}

}  // namespace
}  // namespace corvane
