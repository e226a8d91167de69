#include "driver/pacing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace corvane {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kDayNs = 86'400'000'000'000;
constexpr std::uint32_t kDayMs = 86'400'000;

// Moves only when slept on (a busy wait would never end), by the time slept
// plus `extra` ns, so sleeps can come back late or early.
struct FakeClock final : PauseClock {
    FakeClock(std::int64_t start, std::int64_t extra) : t(start), off(extra) {}
    std::int64_t t, off;
    std::vector<unsigned> slept;
    std::int64_t now() noexcept override { return t; }
    void sleep(unsigned ms) noexcept override { slept.push_back(ms), t += ms * 1000000LL + off; }
};

// The deadline saturates; sleeps round up to whole milliseconds, at most one day each.
TEST(Pacing, SleepsWholeMillisecondsUntilTheSaturatedDeadline) {
    const std::pair<std::int64_t, std::int64_t> deadlines[] = {
        {0, 20'000'000}, {-kMax - 1, -kMax + 19'999'999}, {kMax - 20'000'001, kMax - 1},
        {kMax - 20'000'000, kMax}, {kMax, kMax}};
    for (const auto& [t0, deadline] : deadlines) EXPECT_EQ(pauseDeadline(t0), deadline) << t0;
    const std::pair<std::int64_t, std::uint32_t> sleeps[] = {
        {1, 1}, {3'000'000, 3}, {3'000'001, 4}, {kDayNs - 1, kDayMs}, {kDayNs + 1, kDayMs},
        {kMax, kDayMs}};
    for (const auto& [ns, ms] : sleeps) EXPECT_EQ(sleepMillisecondsFor(ns), ms) << ns;
    // (clock at the start, deadline, ns each sleep is off by) -> the sleeps taken
    const struct { std::int64_t start, deadline, extra; std::vector<unsigned> sleeps; } rows[] = {
        {400, 20'000'000, 0, {20}}, {0, 20'000'000, -100'000, {20, 1}}, {20'000'000, 20'000'000, 0, {}},
        {0, 2 * kDayNs, 0, {kDayMs, kDayMs}}};
    for (const auto& row : rows) {
        FakeClock clock(row.start, row.extra);
        pauseUntil(row.deadline, clock);
        EXPECT_EQ(clock.slept, row.sleeps) << row.start << " to " << row.deadline;
    }
}

}  // namespace
}  // namespace corvane
