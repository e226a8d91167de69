// The synthetic cycle's own work: the pose and one publish into a real mapping.

#include "cli/options.h"
#include "driver/pacing.h"
#include "driver/poses.h"
#include "link/link_record.h"
#include "link/link_writer.h"
#include "link/shared_memory.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace corvane::bench {
namespace {

// Its own name, so a voice client listening on the real link hears nothing.
const std::string kBenchLinkName = "CorvaneBenchLink";

void syntheticCycle(benchmark::State& state, bool orbit) {
    removeSharedMemory(kBenchLinkName);
    auto writer = std::make_unique<LinkWriter>(kBenchLinkName);
    if (!writer->open()) {
        state.SkipWithError(writer->lastError().c_str());
        return;
    }
    BridgeOptions options;
    options.orbit = orbit;
    LinkFrame frame{isolationPose(options.identity), options.identity, options.context};
    const std::int64_t start = monotonicNanoseconds();
    for (auto _ : state) {
        const std::int64_t cycleStart = monotonicNanoseconds();
        frame.pose = orbit ? orbitPose(options, cycleStart - start) : staticPose(options);
        benchmark::DoNotOptimize(writer->publish(frame));
    }
    writer.reset();
    removeSharedMemory(kBenchLinkName);
}

void BM_SyntheticCycleStatic(benchmark::State& state) { syntheticCycle(state, false); }
void BM_SyntheticCycleOrbit(benchmark::State& state) { syntheticCycle(state, true); }

void BM_AssembleRecord(benchmark::State& state) {
    const BridgeOptions options;
    const LinkFrame frame{staticPose(options), options.identity, options.context};
    auto record = std::make_unique<LinkedMem>();
    std::uint32_t tick = 0;
    for (auto _ : state) {
        assembleRecord(frame, ++tick, *record);
        benchmark::DoNotOptimize(record.get());
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_SyntheticCycleStatic);
BENCHMARK(BM_SyntheticCycleOrbit);
BENCHMARK(BM_AssembleRecord);

}  // namespace
}  // namespace corvane::bench
