#include "cli/async_writer.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

namespace corvane {

// Shared with the thread, which keeps it alive while a write is under way
// after the writer itself is gone.
struct AsyncWriter::State {
    struct Item {
        std::string text;
        std::size_t sink = 0;
        bool latest = false;  // may be replaced by the next postLatest for its sink
    };

    std::vector<Sink> sinks;
    std::size_t limit = 0;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Item> queue;
    std::size_t queuedBytes = 0;
    bool writing = false;
    bool closed = false;
    bool keep = false;      // before the thread: texts wait for it
    bool threaded = false;  // false: posts write at once (or are kept)
    bool leftToProcessEnd = false;

    std::uint64_t dropped = 0;

    void write(const Item& item) {
        if (item.sink < sinks.size()) sinks[item.sink](item.text);
    }

    void run() {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return closed || !queue.empty(); });
            if (closed) return;
            Item item = std::move(queue.front());
            queue.pop_front();
            queuedBytes -= item.text.size();
            writing = true;
            lock.unlock();
            write(item);
            lock.lock();
            writing = false;
            changed.notify_all();
        }
    }

    // Queues `item` unless the limit is reached; the lock is held.
    bool enqueue(Item item) {
        if (queuedBytes + item.text.size() > limit) {
            ++dropped;
            return false;
        }
        queuedBytes += item.text.size();
        queue.push_back(std::move(item));
        changed.notify_all();
        return true;
    }
};

AsyncWriter::AsyncWriter(std::vector<Sink> sinks, std::size_t limit, bool keepUntilStarted)
    : state_(std::make_shared<State>()) {
    state_->sinks = std::move(sinks);
    state_->limit = limit;
    state_->keep = keepUntilStarted;
}

AsyncWriter::~AsyncWriter() {
    const std::lock_guard lock(state_->mutex);
    if (state_->leftToProcessEnd) return;
    state_->closed = true;
    state_->queue.clear();
    state_->changed.notify_all();
}

void AsyncWriter::start() {
    {
        const std::lock_guard lock(state_->mutex);
        if (state_->threaded) return;
        try {
            std::thread([state = state_] { state->run(); }).detach();
            state_->threaded = true;
            state_->changed.notify_all();
            return;
        } catch (...) {  // no thread to be had: the caller writes, and may wait
            state_->keep = false;
        }
    }
    flush(std::chrono::steady_clock::time_point::max());
}

bool AsyncWriter::post(std::string text, std::size_t sink) {
    if (text.empty()) return true;
    std::unique_lock lock(state_->mutex);
    if (!state_->threaded && !state_->keep) {
        lock.unlock();
        state_->write({std::move(text), sink, false});
        return true;
    }
    return state_->enqueue({std::move(text), sink, false});
}

void AsyncWriter::postLatest(std::string text, std::size_t sink) {
    std::unique_lock lock(state_->mutex);
    if (!state_->threaded && !state_->keep) {
        lock.unlock();
        state_->write({std::move(text), sink, true});
        return;
    }
    auto& queue = state_->queue;
    if (!queue.empty() && queue.back().latest && queue.back().sink == sink) {
        state_->queuedBytes -= queue.back().text.size();
        queue.pop_back();
        ++state_->dropped;
    }
    state_->enqueue({std::move(text), sink, true});
}

bool AsyncWriter::flush(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(state_->mutex);
    if (!state_->threaded) {
        // Nothing to wait for but the sinks themselves, on this thread.
        std::deque<State::Item> kept;
        kept.swap(state_->queue);
        state_->queuedBytes = 0;
        lock.unlock();
        for (const State::Item& item : kept) state_->write(item);
        return true;
    }
    return state_->changed.wait_until(lock, deadline,
                                      [this] { return state_->queue.empty() && !state_->writing; });
}

void AsyncWriter::keepToProcessEnd() {
    const std::lock_guard lock(state_->mutex);
    state_->leftToProcessEnd = true;
}

std::uint64_t AsyncWriter::dropped() const {
    const std::lock_guard lock(state_->mutex);
    return state_->dropped;
}

}  // namespace corvane
