#pragma once
// What the link monitor shows: a copy of the record turned into text for
// people (the live view) and for programs (one JSON object per line), and the
// frame rate measured from how often uiTick moves.

#include "link/link_look.h"
#include "link/linked_mem.h"
#include "link/shared_memory.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

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
