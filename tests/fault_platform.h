#pragma once
// What the fault tests need of the operating system beyond ChildProcess:
// running a program as another, unprivileged user, changing who owns the link
// object, and watching a running process from outside. Only the POSIX
// stand-in offers these; on Windows every call reports that it cannot.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvane::testing {

// True when programs can be run as the user "nobody" (POSIX, as root).
bool canRunAsNobody();

struct Finished {
    std::optional<int> exitCode;  // none: it was killed after the timeout
    std::string output;
    std::string errorOutput;
};

// Runs `args` (args[0] the program) as "nobody", collects its output and waits
// for it, killing it after `timeout`. False with `error` if it cannot start.
bool runAsNobody(const std::vector<std::string>& args, std::chrono::milliseconds timeout,
                 Finished& finished, std::string& error);

// Gives the named shared-memory object to "nobody" (only as root) and sets its
// permission bits. False with `error` where that is not possible.
bool setSharedMemoryAccess(const std::string& name, bool giveToNobody, unsigned mode,
                           std::string& error);

// Whether process `pid` has installed handlers for both SIGINT and SIGTERM;
// nothing if that cannot be known.
std::optional<bool> stopHandlersInstalled(std::uint32_t pid);

// The process's scheduler state ('R' running, 'S' sleeping, ...); nothing if
// that cannot be known.
std::optional<char> schedulerState(std::uint32_t pid);

}  // namespace corvane::testing
