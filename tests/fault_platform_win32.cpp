#include "tests/fault_platform.h"

namespace corvane::testing {

// Windows has no user to switch to from a test, no mode bits on a named
// mapping, and no signals to watch for.
std::vector<std::string> asNobody() { return {}; }

bool setSharedMemoryAccess(const std::string&, unsigned, std::string& error) {
    error = "Not available on Windows.";
    return false;
}

std::optional<bool> stopHandlersInstalled(std::uint32_t) { return std::nullopt; }

std::optional<char> schedulerState(std::uint32_t) { return std::nullopt; }

}  // namespace corvane::testing
