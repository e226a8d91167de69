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
// voice client may hold it, and keeps seeing the last frame. One that others
// could read is left to them with the parking frame, and made anew.
class LinkWriter {
public:
    // The name is only ever changed by tests, which must not disturb a real link.
    explicit LinkWriter(std::string name = linkName());
    LinkWriter(const LinkWriter&) = delete;
    LinkWriter& operator=(const LinkWriter&) = delete;

    // The frame left in an object the writer leaves while someone may still
    // read it: the character parked where no one hears it.
    void setParkingFrame(const LinkFrame& frame) { parking_ = frame; }

    // Opens the existing record or creates (and clears) a new one, as the
    // only writer, its memory reserved: while another writer holds it, or when
    // it belongs to another user, is no shared memory or is smaller than the
    // record, it is refused and left as it is. One that other users could
    // open is left to them, parked, and made anew (takeNotice says so).
    // Releases whatever was held first and restarts the tick.
    bool open();
    // Lets go of the object and its lock, and stops looking for its readers;
    // writes nothing into the record.
    void close() noexcept;
    // A record that another program cut short is made whole first, and said
    // once (takeNotice). While the name cannot be used (waiting()), writes
    // nothing and succeeds.
    bool publish(const LinkFrame& frame);
    // For about once a second: whether the link's name still leads to the
    // record written, for the user alone. When it was removed or replaced (a
    // voice client that restarts does that), the one there now is opened with
    // every check of open(), or created, the tick goes on, and takeNotice()
    // says so; the object left gets the parking frame. When what stands at the
    // name cannot be used (another user's, no shared memory, too small, no
    // room), the writer waits, says so once, and looks again at each call.
    // False, with nothing held, only when another bridge holds the link.
    bool follow();
    // What happened to the link that the player should hear of, one line, or
    // empty; each is given once.
    std::string takeNotice();

    bool connected() const noexcept { return memory_.isOpen(); }
    // What stands at the name while it cannot be used, for the status line;
    // empty while the writer publishes.
    const std::string& waitingFor() const noexcept { return waitingFor_; }
    bool waiting() const noexcept { return !waitingFor_.empty(); }
    // True when open() created the record rather than finding one.
    bool created() const noexcept { return memory_.created(); }
    std::uint32_t tick() const noexcept { return tick_; }
    const std::string& lastError() const noexcept { return lastError_; }
    // Who else has the record open, as the player reads it: looked up on a
    // thread of its own from the first call on, every 2 s; nothing before the
    // first answer about the record now written, or where the system cannot tell.
    std::optional<std::string> readers();

private:
    enum class Opened { Ok, Waiting, Failed };
    // `running`: a name that cannot be used is waited for, not an error.
    Opened openObject(bool running);
    void startWaiting(const std::string& sentence, std::string label);
    // Leaves the parking frame in an object the writer lets go of.
    void park(SharedMemory& memory);

    std::string name_;
    SharedMemory memory_;
    std::string lastError_;
    std::string notice_;
    bool madeWholeSaid_ = false;  // once per object
    std::uint32_t tick_ = 0;
    std::optional<LinkFrame> parking_;
    std::string waitingFor_;
    std::string waitingSaid_;  // the last sentence said about it, until publishing again
    LinkedMem record_{};  // assembled here, then stored into the object whole
    // Last, so its looks end before the object they ask about is let go.
    std::unique_ptr<ReaderWatch> readers_;
};

}  // namespace corvane
