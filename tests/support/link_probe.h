#pragma once
// Reads the published record from the test's own process, and through the
// link monitor as a player would.

#include "link/linked_mem.h"
#include "link/shared_memory.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace corvane::testing {

class LinkProbe {
public:
    // Opens the existing "MumbleLink" read-only; false if there is none yet.
    bool open(std::string& error);
    // A consistent copy of the record (two identical copies in a row).
    std::optional<LinkedMem> read() const;
    // Polls (about every millisecond) until `done` holds for a copy; returns
    // that copy, or nothing after the timeout.
    std::optional<LinkedMem> waitFor(const std::function<bool(const LinkedMem&)>& done,
                                     std::chrono::milliseconds timeout) const;

private:
    SharedMemory memory_;
};

// Runs `CorvaneLinkMonitor --json --once` and decodes its "raw" field.
std::optional<LinkedMem> readRecordWithMonitor(std::string& error);

}  // namespace corvane::testing
