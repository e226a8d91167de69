#pragma once
// What a benchmark reads from the game, and the figures we track: reads per
// cycle, time per read, and the share of one core taken from the process's
// own CPU time. A benchmark that saw a read fail is failed, since a failed
// read would otherwise be timed as a read.

#include "game/game_memory.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace corvane::bench {

class CountingMemory final : public GameMemory {
public:
    explicit CountingMemory(GameMemory& inner) noexcept : inner_(inner) {}
    bool read(std::uint64_t address, void* out, std::size_t size) override {
        ++reads_;
        const bool ok = inner_.read(address, out, size);
        failures_ += ok ? 0 : 1;
        return ok;
    }
    std::uint64_t reads() const noexcept { return reads_; }
    std::uint64_t failures() const noexcept { return failures_; }

private:
    GameMemory& inner_;
    std::uint64_t reads_ = 0;
    std::uint64_t failures_ = 0;
};

// Call after the timing loop: reads per iteration and time per read, or an
// error when any read failed.
inline void reportReads(benchmark::State& state, std::uint64_t reads, std::uint64_t failures) {
    using benchmark::Counter;
    if (failures != 0) {
        state.SkipWithError((std::to_string(failures) + " of " + std::to_string(reads) +
                             " reads failed").c_str());
        return;
    }
    state.counters["reads"] =
        Counter(static_cast<double>(reads) / static_cast<double>(state.iterations()));
    // Rate counters divide by the measured time; inverted, they give time per unit.
    state.counters["s_per_read"] =
        Counter(static_cast<double>(reads), Counter::kIsRate | Counter::kInvert);
}

inline void reportReads(benchmark::State& state, const CountingMemory& memory) {
    reportReads(state, memory.reads(), memory.failures());
}

// This process's CPU time so far, user and kernel.
inline std::int64_t processCpuNanoseconds() noexcept {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto micros = [](const timeval& t) {
        return static_cast<std::int64_t>(t.tv_sec) * 1'000'000 + t.tv_usec;
    };
    return (micros(usage.ru_utime) + micros(usage.ru_stime)) * 1000;
}

// This thread's CPU time so far.
inline std::int64_t threadCpuNanoseconds() noexcept {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

}  // namespace corvane::bench
