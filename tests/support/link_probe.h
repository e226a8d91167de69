#pragma once
// Reads the published record from outside the bridge, as the voice client does.

#include "link/link_frame.h"
#include "link/linked_mem.h"
#include "link/shared_memory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace corvane::testing {

class LinkProbe {
public:
    // Opens the existing "MumbleLink" for reading; false while there is none.
    bool open(std::string& error);
    // A consistent copy of the record: two identical copies in a row.
    std::optional<LinkedMem> read() const;
    // Polls about every millisecond until `done` holds for a copy; nothing
    // after the timeout.
    std::optional<LinkedMem> waitFor(const std::function<bool(const LinkedMem&)>& done,
                                     std::chrono::milliseconds timeout) const;

private:
    SharedMemory memory_;
};

// Whether `record` is, byte for byte, the record of `frame` with its own uiTick.
::testing::AssertionResult isRecordOf(const LinkedMem& record, const LinkFrame& frame);

}  // namespace corvane::testing
