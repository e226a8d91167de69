#pragma once
// Text handed to a thread of its own that writes it, so the bridge's cycle
// never waits on whoever reads: a console that stops taking text (a selection
// in a Windows console, Ctrl-S in a terminal) or a pipe nobody reads. While
// the writer is held up, at most `limit` bytes wait; what would pass that is
// dropped, never queued without bound.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace corvane {

class AsyncWriter {
public:
    // Writes one text whole, however long that takes; false when it failed.
    using Sink = std::function<bool(std::string_view)>;

    AsyncWriter(Sink sink, std::size_t limit);
    AsyncWriter(const AsyncWriter&) = delete;
    AsyncWriter& operator=(const AsyncWriter&) = delete;
    // Never waits: a write under way is left to end by itself (or with the
    // process), and what still waits is dropped.
    ~AsyncWriter();

    // Queues `text`; false when it was dropped because the limit was reached.
    bool post(std::string text);
    // Latest wins: replaces the text that an earlier postLatest left waiting at
    // the end of the queue, or queues `text` after whatever waits.
    void postLatest(std::string text);
    // Waits until everything queued has been written, or until `deadline`.
    // True when nothing is left to write.
    bool flush(std::chrono::steady_clock::time_point deadline);
    // Texts dropped so far because the limit was reached.
    std::uint64_t dropped() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace corvane
