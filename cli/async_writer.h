#pragma once
// Text handed to a thread of its own that writes it, so the bridge's cycle
// never waits on whoever reads: a console that stops taking text (a selection
// in a Windows console, Ctrl-S in a terminal) or a pipe nobody reads. While
// the writer is held up, at most `limit` bytes wait; what would pass that is
// dropped, never queued without bound.
//
// One writer may serve several sinks (standard output and standard error when
// both reach one console, file or pipe): its texts reach them in the order
// they were posted. The thread is made only by start(): before it, texts are
// written at once on the caller's thread, or kept until start() when asked
// to (a game that is still to be started gets every thread the process may
// have).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

class AsyncWriter {
public:
    // Writes one text whole, however long that takes; false when it failed.
    using Sink = std::function<bool(std::string_view)>;

    // `keepUntilStarted`: texts posted before start() wait for the thread
    // (within the limit) rather than being written at once.
    AsyncWriter(std::vector<Sink> sinks, std::size_t limit, bool keepUntilStarted = false);
    AsyncWriter(Sink sink, std::size_t limit) : AsyncWriter(std::vector<Sink>{std::move(sink)}, limit) {}
    AsyncWriter(const AsyncWriter&) = delete;
    AsyncWriter& operator=(const AsyncWriter&) = delete;
    // Never waits: a write under way is left to end by itself (or with the
    // process), and what still waits is dropped. After keepToProcessEnd() the
    // thread is not even woken.
    ~AsyncWriter();

    // Makes the writing thread, which takes over whatever was kept. Without
    // one to be had, texts go on being written at once. Once only.
    void start();
    // Queues `text` for sink number `sink`; false when it was dropped because
    // the limit was reached.
    bool post(std::string text, std::size_t sink = 0);
    // Latest wins: replaces the text that an earlier postLatest for the same
    // sink left waiting at the end of the queue, or queues `text` after
    // whatever waits.
    void postLatest(std::string text, std::size_t sink = 0);
    // Waits until everything queued has been written, or until `deadline`.
    // True when nothing is left to write. Before start() whatever was kept is
    // written here, on the caller's thread.
    bool flush(std::chrono::steady_clock::time_point deadline);
    // The thread is left asleep until the process ends, never told to end:
    // under Wine a thread that ends while its process ends now and then makes
    // the process end killed, with another code, or never.
    void keepToProcessEnd();
    // Texts dropped so far because the limit was reached.
    std::uint64_t dropped() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace corvane
