#pragma once

#include "link/link_frame.h"
#include "link/linked_mem.h"
#include "link/shared_memory.h"

#include <cstdint>
#include <string>

namespace corvane {

// Owns the link's shared memory and writes one whole record of this
// platform's layout into it per publish. The object is never removed: the
// voice client may hold it, and keeps seeing the last frame.
class LinkWriter {
public:
    // The name is only ever changed by tests, which must not disturb a real link.
    explicit LinkWriter(std::string name = linkName());
    LinkWriter(const LinkWriter&) = delete;
    LinkWriter& operator=(const LinkWriter&) = delete;

    // Opens the existing record or creates (and clears) a new one, as the
    // only writer: while another writer holds it, or when it belongs to
    // another user, or is smaller than the record, it is refused and left as
    // it is. Releases whatever was held first and restarts the tick.
    bool open();
    // Unmaps the view and closes the mapping; writes nothing into the record.
    void close() noexcept;
    bool publish(const LinkFrame& frame);

    bool connected() const noexcept { return memory_.data() != nullptr; }
    // True when open() created the record rather than finding one.
    bool created() const noexcept { return memory_.created(); }
    std::uint32_t tick() const noexcept { return tick_; }
    const std::string& lastError() const noexcept { return lastError_; }

private:
    std::string name_;
    SharedMemory memory_;
    std::string lastError_;
    std::uint32_t tick_ = 0;
    LinkedMem record_{};  // assembled here, then stored into the view whole
};

}  // namespace corvane
