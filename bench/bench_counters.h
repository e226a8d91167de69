#pragma once
// Counting what a benchmark reads from the game, and turning it into the
// figures we track: reads per cycle, time per read, share of one core at the
// bridge's 50 cycles a second.

#include "game/game_memory.h"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>

namespace corvane::bench {

class CountingMemory final : public GameMemory {
public:
    explicit CountingMemory(GameMemory& inner) noexcept : inner_(inner) {}
    bool read(std::uint64_t address, void* out, std::size_t size) override {
        ++reads_;
        return inner_.read(address, out, size);
    }
    std::uint64_t reads() const noexcept { return reads_; }

private:
    GameMemory& inner_;
    std::uint64_t reads_ = 0;
};

// Call after the timing loop. `reads` is the total over all iterations.
inline void reportReads(benchmark::State& state, std::uint64_t reads) {
    using benchmark::Counter;
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["reads"] = Counter(static_cast<double>(reads) / iterations);
    // Rate counters divide by the measured time; inverted, they give time per unit.
    state.counters["s_per_read"] =
        Counter(static_cast<double>(reads), Counter::kIsRate | Counter::kInvert);
    state.counters["core_at_50Hz"] =
        Counter(iterations / 50.0, Counter::kIsRate | Counter::kInvert);
}

}  // namespace corvane::bench
