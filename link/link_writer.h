#pragma once

#include "link/link_frame.h"
#include "link/link_readers.h"
#include "link/linked_mem.h"
#include "link/shared_memory.h"

#include <cstdint>
#include <memory>
#include <optional>
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
    // only writer, its memory reserved: while another writer holds it, or when
    // it belongs to another user, is no shared memory or is smaller than the
    // record, it is refused and left as it is. Releases whatever was held
    // first and restarts the tick.
    bool open();
    // Lets go of the object and its lock, and stops looking for its readers;
    // writes nothing into the record.
    void close() noexcept;
    // A record that another program cut short is made whole first, and said
    // once (takeNotice).
    bool publish(const LinkFrame& frame);
    // For about once a second: whether the link's name still leads to the
    // record written. When it was removed or replaced (a voice client that
    // restarts does that), the one there now is opened with every check of
    // open(), or created, the tick goes on, and takeNotice() says so. False,
    // with nothing held, when that one cannot be used (another bridge holds it).
    bool follow();
    // What happened to the link that the player should hear of, one line, or
    // empty; each is given once.
    std::string takeNotice();

    bool connected() const noexcept { return memory_.isOpen(); }
    // True when open() created the record rather than finding one.
    bool created() const noexcept { return memory_.created(); }
    std::uint32_t tick() const noexcept { return tick_; }
    const std::string& lastError() const noexcept { return lastError_; }
    // Who else has the record open, as the player reads it: looked up on a
    // thread of its own from the first call on, every 2 s; nothing before the
    // first answer about the record now written, or where the system cannot tell.
    std::optional<std::string> readers();

private:
    bool openObject();

    std::string name_;
    SharedMemory memory_;
    std::string lastError_;
    std::string notice_;
    bool madeWholeSaid_ = false;  // once per object
    std::uint32_t tick_ = 0;
    LinkedMem record_{};  // assembled here, then stored into the object whole
    // Last, so its looks end before the object they ask about is let go.
    std::unique_ptr<ReaderWatch> readers_;
};

}  // namespace corvane
