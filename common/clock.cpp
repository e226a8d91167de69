#include "common/clock.h"

#include <chrono>

namespace corvane {

std::int64_t monotonicNanoseconds() noexcept {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace corvane
