#pragma once
// What the fault tests need of the operating system beyond ChildProcess:
// another, unprivileged user, the link object's owner and mode, and a look at
// a running process. Only the POSIX stand-in offers these.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvane::testing {

// The words that, put before a program and its arguments, run it as the user
// "nobody"; none where that cannot be done (not root, or Windows).
std::vector<std::string> asNobody();

// Gives the named shared-memory object to "nobody" (where asNobody() can run
// programs as that user) and sets its mode bits; false with `error` if not.
bool setSharedMemoryAccess(const std::string& name, unsigned mode, std::string& error);

// Whether the process has handlers in place for both SIGINT and SIGTERM, and
// its scheduler state ('R' running, 'S' sleeping...); nothing where that
// cannot be seen.
std::optional<bool> stopHandlersInstalled(std::uint32_t pid);
std::optional<char> schedulerState(std::uint32_t pid);

}  // namespace corvane::testing
