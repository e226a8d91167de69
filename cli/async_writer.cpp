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
        bool latest = false;  // may be replaced by the next postLatest
    };

    Sink sink;
    std::size_t limit = 0;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Item> queue;
    std::size_t queuedBytes = 0;
    bool writing = false;
    bool closed = false;
    bool threaded = false;  // false: no thread could be made; posts write at once
    std::uint64_t dropped = 0;

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
            sink(item.text);
            lock.lock();
            writing = false;
            changed.notify_all();
        }
    }
};

AsyncWriter::AsyncWriter(Sink sink, std::size_t limit) : state_(std::make_shared<State>()) {
    state_->sink = std::move(sink);
    state_->limit = limit;
    try {
        std::thread([state = state_] { state->run(); }).detach();
        state_->threaded = true;
    } catch (...) {  // no thread to be had: the caller writes, and may wait
    }
}

AsyncWriter::~AsyncWriter() {
    const std::lock_guard lock(state_->mutex);
    state_->closed = true;
    state_->queue.clear();
    state_->changed.notify_all();
}

bool AsyncWriter::post(std::string text) {
    if (text.empty()) return true;
    std::unique_lock lock(state_->mutex);
    if (!state_->threaded) {
        lock.unlock();
        state_->sink(text);
        return true;
    }
    if (state_->queuedBytes + text.size() > state_->limit) {
        ++state_->dropped;
        return false;
    }
    state_->queuedBytes += text.size();
    state_->queue.push_back({std::move(text), false});
    state_->changed.notify_all();
    return true;
}

void AsyncWriter::postLatest(std::string text) {
    std::unique_lock lock(state_->mutex);
    if (!state_->threaded) {
        lock.unlock();
        state_->sink(text);
        return;
    }
    auto& queue = state_->queue;
    if (!queue.empty() && queue.back().latest) {
        state_->queuedBytes -= queue.back().text.size();
        queue.pop_back();
        ++state_->dropped;
    }
    if (state_->queuedBytes + text.size() > state_->limit) {
        ++state_->dropped;
        return;
    }
    state_->queuedBytes += text.size();
    queue.push_back({std::move(text), true});
    state_->changed.notify_all();
}

bool AsyncWriter::flush(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_until(lock, deadline,
                                      [this] { return state_->queue.empty() && !state_->writing; });
}

std::uint64_t AsyncWriter::dropped() const {
    const std::lock_guard lock(state_->mutex);
    return state_->dropped;
}

}  // namespace corvane
