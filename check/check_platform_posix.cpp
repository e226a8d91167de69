#include "check/check_platform.h"

#include "common/proc_files.h"

#include <unistd.h>

#include <string>

namespace corvane {

std::uint32_t playersUser() noexcept { return static_cast<std::uint32_t>(getuid()); }

std::optional<std::uint32_t> processUser(std::uint32_t pid) {
    if (pid == 0) return std::nullopt;
    return processRealUser(pid);
}

bool seesPartOfTheProcesses() {
    if (access("/.flatpak-info", F_OK) == 0) return true;
    // "NSpid:\t4242\t7": one number for each PID namespace we are in.
    const std::string status = readProcFile("/proc/self/status").value_or(std::string());
    const std::size_t at = status.find("\nNSpid:");
    if (at == std::string::npos) return false;
    std::size_t numbers = 0;
    bool inNumber = false;
    for (std::size_t i = at + 7; i < status.size() && status[i] != '\n'; ++i) {
        const bool digit = status[i] >= '0' && status[i] <= '9';
        numbers += digit && !inNumber ? 1 : 0;
        inNumber = digit;
    }
    return numbers > 1;
}

}  // namespace corvane
