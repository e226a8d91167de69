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
    struct Case {
        std::int64_t t0;
        std::int64_t deadline;
    } cases[] = {
        {0, 20'000'000},
        {-20'000'000, 0},
        {kMin, kMin + 20'000'000},
        {kMax - 20'000'001, kMax - 1},
        {kMax - 20'000'000, kMax},
        {kMax - 1, kMax},
        {kMax, kMax},
    };
    for (const auto& c : cases) EXPECT_EQ(pauseDeadline(c.t0), c.deadline) << c.t0;
}

TEST(SleepMillisecondsFor, RoundsUpAndCapsAtOneDay) {
    struct Case {
        std::int64_t remaining;
        std::uint32_t milliseconds;
    } cases[] = {
        {1, 1},
        {999'999, 1},
        {1'000'000, 1},
        {1'000'001, 2},
        {3'000'000, 3},
        {3'000'001, 4},
        {20'000'000, 20},
        {86'400'000'000'000 - 1, 86'400'000},
        {86'400'000'000'000, 86'400'000},
        {86'400'000'000'001, 86'400'000},
        {kMax, 86'400'000},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sleepMillisecondsFor(c.remaining), c.milliseconds) << c.remaining;
    }
}

// A clock that moves only when slept on: by `percent` of the slept time plus
// `extra` nanoseconds, so sleeps can come back late or early.
class FakeClock final : public PauseClock {
public:
    FakeClock(std::int64_t start, std::int64_t percent, std::int64_t extra)
        : now_(start), percent_(percent), extra_(extra) {}

    std::int64_t now() noexcept override {
        ++reads;
        return now_;
    }
    void sleep(std::uint32_t milliseconds) noexcept override {
        sleeps.push_back(milliseconds);
        const std::int64_t step = std::int64_t{milliseconds} * 1'000'000 * percent_ / 100 + extra_;
        now_ = step > kMax - now_ ? kMax : now_ + step;
    }

    std::vector<std::uint32_t> sleeps;
    int reads = 0;

private:
    std::int64_t now_;
    std::int64_t percent_;
    std::int64_t extra_;
};

TEST(PauseUntil, SleepsWholeMillisecondsUntilTheDeadline) {
    struct Case {
        const char* what;
        std::int64_t start;
        std::int64_t deadline;
        std::int64_t percent;
        std::int64_t extra;
        std::vector<std::uint32_t> sleeps;
    } cases[] = {
        {"exact sleep", 0, 20'000'000, 100, 0, {20}},
        {"oversleep", 0, 20'000'000, 100, 700'000, {20}},
        {"partial millisecond", 400, 20'000'400, 100, 0, {20}},
        {"rounded up", 400, 20'000'000, 100, 0, {20}},
        {"slightly early", 0, 20'000'000, 100, -100'000, {20, 1}},
        {"half the time", 0, 20'000'000, 50, 0, {20, 10, 5, 3, 1, 1}},
        {"deadline passed", 30'000'000, 20'000'000, 100, 0, {}},
        {"deadline now", 20'000'000, 20'000'000, 100, 0, {}},
        {"two days", 0, 2 * 86'400'000'000'000, 100, 0, {86'400'000, 86'400'000}},
        {"near the end of time", kMax - 5, kMax, 100, 0, {1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeClock clock(c.start, c.percent, c.extra);
        pauseUntil(c.deadline, clock);
        EXPECT_EQ(clock.sleeps, c.sleeps);
        EXPECT_GE(clock.now(), c.deadline);
        EXPECT_EQ(clock.reads, static_cast<int>(c.sleeps.size()) + 2);  // no busy wait
    }
}

}  // namespace
}  // namespace corvane
