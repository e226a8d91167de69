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
    struct sigaction action {};
    action.sa_handler = ignoreAlarm;
    sigemptyset(&action.sa_mask);
    struct sigaction previous {};
    ASSERT_EQ(sigaction(SIGALRM, &action, &previous), 0);
    itimerval alarmIn5ms{};
    alarmIn5ms.it_value.tv_usec = 5'000;
    ASSERT_EQ(setitimer(ITIMER_REAL, &alarmIn5ms, nullptr), 0);

    const std::int64_t before = monotonicNanoseconds();
    sleepMilliseconds(30);
    const std::int64_t slept = monotonicNanoseconds() - before;

    sigaction(SIGALRM, &previous, nullptr);
    EXPECT_GE(slept, 30'000'000);
}

}  // namespace
}  // namespace corvane
