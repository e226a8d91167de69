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
    struct sigaction action {}, previous {};
    action.sa_handler = ignoreAlarm;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGALRM, &action, &previous), 0);
    const itimerval alarmIn5ms{{0, 0}, {0, 5'000}};
    ASSERT_EQ(setitimer(ITIMER_REAL, &alarmIn5ms, nullptr), 0);
    const std::int64_t before = monotonicNanoseconds();
    sleepMilliseconds(30);
    const std::int64_t slept = monotonicNanoseconds() - before;
    sigaction(SIGALRM, &previous, nullptr);
    EXPECT_GE(slept, 30'000'000);
}

}  // namespace
}  // namespace corvane
