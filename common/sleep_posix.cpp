#include "common/clock.h"

#include <cerrno>
#include <ctime>

namespace corvane {

void sleepMilliseconds(std::uint32_t milliseconds) noexcept {
    timespec request{static_cast<time_t>(milliseconds / 1000),
                     static_cast<long>(milliseconds % 1000) * 1'000'000L};
    // A signal cuts the sleep short; sleep the rest, since callers rely on
    // "at least".
    while (nanosleep(&request, &request) != 0 && errno == EINTR) {
    }
}

}  // namespace corvane
