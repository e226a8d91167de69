// The lookup and the character read over an in-memory image, where a read
// costs next to nothing: what is measured here is our own work per cycle and
// per read, directly.

#include "bench/bench_counters.h"
#include "game/character_read.h"
#include "game/player_lookup.h"
#include "tests/support/game_scene.h"

#include <benchmark/benchmark.h>

#include <string>

namespace corvane::bench {
namespace {

// A clock that stands still: the kept player never goes stale.
std::int64_t stillClock() { return 0; }

// `objects` objects with the player last.
MemoryImage imageWithPlayerLast(std::int64_t objects, wow::GameScene& scene) {
    MemoryImage image;
    wow::layOutCrowd(image, scene, static_cast<std::size_t>(objects - 1));
    image.setReadLogging(false);
    return image;
}

void BM_ImageLookup(benchmark::State& state) {
    wow::GameScene scene;
    MemoryImage image = imageWithPlayerLast(state.range(0), scene);
    CountingMemory memory(image);
    LocalPlayer player;
    std::string error;
    for (auto _ : state) {
        benchmark::DoNotOptimize(findLocalPlayer(memory, scene.moduleBase, player, error));
    }
    if (player.playerObject != scene.object(scene.objectGuids.size() - 1)) {
        state.SkipWithError("player not found");
    }
    reportReads(state, memory);
}

// Second argument 1: the player kept from the cycle before, as the bridge
// runs once it has found the character; 0: the walk every time.
void BM_ImageCharacterRead(benchmark::State& state) {
    wow::GameScene scene;
    MemoryImage image = imageWithPlayerLast(state.range(0), scene);
    CountingMemory memory(image);
    const bool keep = state.range(1) != 0;
    CharacterSnapshot snapshot;
    std::string error;
    KeptPlayer kept;
    ReadStatus status = readCharacterState(memory, scene.moduleBase, snapshot, error, kept, stillClock);
    const std::uint64_t readsBefore = memory.reads();
    for (auto _ : state) {
        status = keep ? readCharacterState(memory, scene.moduleBase, snapshot, error, kept, stillClock)
                      : readCharacterState(memory, scene.moduleBase, snapshot, error);
        benchmark::DoNotOptimize(status);
    }
    if (status != ReadStatus::InWorld) state.SkipWithError(error.c_str());
    reportReads(state, memory.reads() - readsBefore, memory.failures());
}

BENCHMARK(BM_ImageLookup)->ArgName("objects")->Arg(1)->Arg(500)->Arg(2000)->Arg(8192);
BENCHMARK(BM_ImageCharacterRead)
    ->ArgNames({"objects", "kept"})
    ->ArgsProduct({{1, 500, 2000, 8192}, {0, 1}});

}  // namespace
}  // namespace corvane::bench
