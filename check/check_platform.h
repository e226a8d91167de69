#pragma once
// What the check asks the system itself (check_platform_<platform>.cpp).

#include <cstdint>
#include <optional>

namespace corvane {

// The player's user (POSIX: the real user id); 0 where users are not numbers.
std::uint32_t playersUser() noexcept;
// The real user of the process `pid`, where the system tells it.
std::optional<std::uint32_t> processUser(std::uint32_t pid);

}  // namespace corvane
