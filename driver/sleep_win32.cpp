#include "driver/pacing.h"

#include "common/windows_support.h"

namespace corvane {

void sleepMilliseconds(std::uint32_t milliseconds) noexcept { Sleep(milliseconds); }

}  // namespace corvane
