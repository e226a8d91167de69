#include "check/check_platform.h"

#include "common/proc_files.h"

#include <unistd.h>

namespace corvane {

std::uint32_t playersUser() noexcept { return static_cast<std::uint32_t>(getuid()); }

std::optional<std::uint32_t> processUser(std::uint32_t pid) {
    if (pid == 0) return std::nullopt;
    return processRealUser(pid);
}

}  // namespace corvane
