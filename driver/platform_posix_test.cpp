// The driver's Linux layer: the pause's sleep.

#include "driver/pacing.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/time.h>

#include <cstdint>

namespace corvane {
namespace {

extern "C" void ignoreAlarm(int) {}

// nanosleep gives up early on any signal; the sleep must carry on to its end.
TEST(PosixSleep, SignalDoesNotShortenTheSleep) {
    const auto previous = signal(SIGALRM, ignoreAlarm);
    const itimerval alarmIn5ms{{0, 0}, {0, 5'000}};
    ASSERT_EQ(setitimer(ITIMER_REAL, &alarmIn5ms, nullptr), 0);
    const std::int64_t before = monotonicNanoseconds();
    sleepMilliseconds(30);
    const std::int64_t slept = monotonicNanoseconds() - before;
    signal(SIGALRM, previous);
    EXPECT_GE(slept, 30'000'000);
}

}  // namespace
}  // namespace corvane
