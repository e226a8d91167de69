#pragma once
// A look at the link from outside, as the link monitor and the bridge's check
// take it: opened for reading only (never created, locked or changed), its
// record copied and turned into text, whether a writer moves its tick, and
// who reads it. One place, so the two can never tell a player different things.

#include "link/link_readers.h"
#include "link/linked_mem.h"
#include "link/shared_memory.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// How opening the player's link (linkName()) for reading went.
struct LinkOpening {
    SharedMemory::Status status = SharedMemory::Status::Ok;
    std::uint32_t code = 0;  // as openExisting leaves it
};
LinkOpening openLinkToLook(SharedMemory& memory);
// What stands in the way, one sentence without a line feed; empty for Ok.
std::string linkOpeningText(const LinkOpening& opening);

// "MumbleLink shared memory ... holds only N of the record's M bytes: ...".
std::string cutShortText(std::size_t held);

// Two copies of the record `spanMs` apart: the tick before and after, and
// how long lay between. `held` is the fewest bytes either copy found.
struct TickSamples {
    std::uint32_t first = 0;
    std::uint32_t second = 0;
    std::int64_t elapsedNs = 0;
    std::size_t held = 0;
};
TickSamples sampleTwice(const SharedMemory& memory, LinkedMem& record, std::uint32_t spanMs);

// The other processes that hold the link, asked once; nothing where the
// system cannot tell.
std::optional<std::vector<LinkReader>> readersOnce(const SharedMemory& memory);

// A text field up to the first NUL unit (or the end of `units`) as UTF-8:
// UTF-16 from the Windows record, UTF-32 from the Linux record. A unit that is
// no character (a surrogate not half of a pair, a value above U+10FFFF)
// appears as the literal text "\uD800" or "\U00110000". With
// `escapeControls`, control characters appear the same way, so that a stray
// record cannot drive the terminal.
std::string decodeText(std::u16string_view units, bool escapeControls = false);
std::string decodeText(std::u32string_view units, bool escapeControls = false);
// The record's identity so.
std::string recordIdentity(const LinkedMem& record, bool escapeControls = false);

// The first min(context_len, 256) context bytes as text: each well-formed
// UTF-8 sequence as is, but control characters and every byte of what is no
// UTF-8 as the literal text "\xHH".
std::string escapeContext(const LinkedMem& record);

// `text` as a quoted JSON string.
std::string jsonString(std::string_view text);

// "%.9g", which reads back to the same float; "null" when not finite.
std::string jsonFloat(float value);

// Whether a writer is publishing, from two ticks read `elapsedNs` apart:
// "live, N frames a second" or "not changing: no bridge is publishing".
std::string formatLiveness(std::uint32_t firstTick, std::uint32_t secondTick,
                           std::int64_t elapsedNs);
// The frames between two ticks: a jump by a huge amount, or backwards, is a
// restarted writer and counts as one frame.
std::uint32_t framesBetween(std::uint32_t firstTick, std::uint32_t secondTick) noexcept;
// Frames a second between two ticks `elapsedNs` apart (0 without time between).
double tickRate(std::uint32_t firstTick, std::uint32_t secondTick, std::int64_t elapsedNs) noexcept;

// Copies the record out of memory that another process may be rewriting:
// copies it twice in a row and accepts the copy when both agree, or after
// `attempts` tries the last copy. Returns how many of the record's bytes the
// object holds: fewer when it was cut short (`out` is then not a record).
std::size_t copyRecord(const SharedMemory& memory, LinkedMem& out, int attempts = 100) noexcept;

}  // namespace corvane
