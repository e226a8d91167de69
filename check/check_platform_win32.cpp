#include "check/check_platform.h"

namespace corvane {

std::uint32_t playersUser() noexcept { return 0; }

// Windows names no holder of the link's lock, so there is no process to ask about.
std::optional<std::uint32_t> processUser(std::uint32_t) { return std::nullopt; }

}  // namespace corvane
