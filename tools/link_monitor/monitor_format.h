#pragma once
// What the link monitor shows: a copy of the record turned into text for
// people (the live view) and for programs (one JSON object per line), and the
// frame rate measured from how often uiTick moves.

#include "link/linked_mem.h"
#include "link/shared_memory.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

// A text field up to the first NUL unit (or the end of `units`) as UTF-8:
// UTF-16 from the Windows record, UTF-32 from the Linux record. A unit that is
// no character (a surrogate not half of a pair, a value above U+10FFFF)
// appears as the literal text "\uD800" or "\U00110000". With
// `escapeControls`, control characters appear the same way, so that a stray
// record cannot drive the terminal.
std::string decodeText(std::u16string_view units, bool escapeControls = false);
std::string decodeText(std::u32string_view units, bool escapeControls = false);

// The first min(context_len, 256) context bytes as text: each well-formed
// UTF-8 sequence as is, but control characters and every byte of what is no
// UTF-8 as the literal text "\xHH".
std::string escapeContext(const LinkedMem& record);

// `text` as a quoted JSON string.
std::string jsonString(std::string_view text);

// "%.9g", which reads back to the same float; "null" when not finite.
std::string jsonFloat(float value);

// All bytes of the record (this platform's layout) as lowercase hex, two digits a byte.
std::string recordHex(const LinkedMem& record);

struct FrameTiming {
    std::optional<double> framesPerSecond;
    std::optional<double> sinceLastFrameMs;
};

// One line, without the line feed; `readers` is describeReaders' sentence,
// null where nobody can tell.
std::string formatJson(const LinkedMem& record, const FrameTiming& timing,
                       const std::optional<std::string>& readers = std::nullopt);

// Several lines, each ending in a line feed. With a `liveness` (formatLiveness)
// it stands instead of the frame rate and the time since the last frame.
std::string formatDisplay(const LinkedMem& record, const FrameTiming& timing,
                          std::string_view liveness = {});

// Whether a writer is publishing, from two ticks read `elapsedNs` apart:
// "live, N frames a second" or "not changing: no bridge is publishing".
std::string formatLiveness(std::uint32_t firstTick, std::uint32_t secondTick,
                           std::int64_t elapsedNs);
// The frames between two ticks: a jump by a huge amount, or backwards, is a
// restarted writer and counts as one frame.
std::uint32_t framesBetween(std::uint32_t firstTick, std::uint32_t secondTick) noexcept;

// Copies the record out of memory that another process may be rewriting:
// copies it twice in a row and accepts the copy when both agree, or after
// `attempts` tries the last copy. Returns how many of the record's bytes the
// object holds: fewer when it was cut short (`out` is then not a record).
std::size_t copyRecord(const SharedMemory& memory, LinkedMem& out, int attempts = 100) noexcept;

// Counts new frames from (time, uiTick) samples taken often enough to see each
// tick. A jump of several ticks between two samples counts as that many frames
// (the sampler was late); a jump backwards or by a huge amount is a restarted
// writer and counts as one.
class FrameRateMeter {
public:
    void addSample(std::int64_t timeNs, std::uint32_t tick);
    // The rate over the last two seconds, once samples span one second.
    std::optional<double> framesPerSecond() const;
    // Time since the tick last moved, once it has been seen to move.
    std::optional<double> sinceLastFrameMs() const;
    FrameTiming timing() const { return {framesPerSecond(), sinceLastFrameMs()}; }

private:
    struct Change {
        std::int64_t timeNs;
        std::uint32_t frames;
    };
    std::deque<Change> changes_;
    std::optional<std::int64_t> firstSampleNs_;
    std::optional<std::int64_t> lastChangeNs_;
    std::int64_t lastSampleNs_ = 0;
    std::uint32_t lastTick_ = 0;
};

}  // namespace corvane
