// The lookup and the character read over an in-memory image: the walk's own
// work, with reads that cost next to nothing.

#include "bench/bench_counters.h"
#include "game/character_read.h"
#include "game/memory_image.h"
#include "game/player_lookup.h"

#include <benchmark/benchmark.h>

#include <string>

namespace corvane::bench {
namespace {

// `objects` objects with the player last, every byte of each object's first
// 16 readable as in the game.
GameScene sceneWithPlayerLast(std::int64_t objects) {
    GameScene scene;
    scene.objectGuids.clear();
    for (std::int64_t i = 1; i < objects; ++i) {
        scene.objectGuids.push_back(0xF130000000000000 + static_cast<std::uint64_t>(i));
    }
    scene.objectGuids.push_back(scene.localGuid);
    return scene;
}

void layOutWhole(MemoryImage& image, const GameScene& scene) {
    layOut(image, scene);
    for (std::size_t i = 0; i < scene.objectGuids.size(); ++i) {
        image.putU32(scene.object(i) + layout::kObjectGuid + 8, 0);
    }
    image.setReadLogging(false);
}

void BM_ImageLookup(benchmark::State& state) {
    const GameScene scene = sceneWithPlayerLast(state.range(0));
    const auto reads = state.range(1) == 0 ? ObjectReads::Combined : ObjectReads::Separate;
    MemoryImage image;
    layOutWhole(image, scene);
    CountingMemory memory(image);
    LocalPlayer player;
    std::string error;
    for (auto _ : state) {
        benchmark::DoNotOptimize(findLocalPlayer(memory, scene.moduleBase, player, error, reads));
    }
    if (player.playerObject != scene.object(scene.objectGuids.size() - 1)) {
        state.SkipWithError("player not found");
    }
    reportReads(state, memory.reads());
}

void BM_ImageCharacterRead(benchmark::State& state) {
    const GameScene scene = sceneWithPlayerLast(state.range(0));
    MemoryImage image;
    layOutWhole(image, scene);
    CountingMemory memory(image);
    CharacterSnapshot snapshot;
    std::string error;
    for (auto _ : state) {
        benchmark::DoNotOptimize(readCharacterState(memory, scene.moduleBase, snapshot, error));
    }
    if (snapshot.mapId != scene.mapId) state.SkipWithError(error.c_str());
    reportReads(state, memory.reads());
}

// Second argument: 0 the combined read, 1 the separate reads.
BENCHMARK(BM_ImageLookup)
    ->ArgNames({"objects", "separate"})
    ->ArgsProduct({{1, 500, 2000, 8192}, {0, 1}});
BENCHMARK(BM_ImageCharacterRead)->ArgName("objects")->Arg(1)->Arg(500)->Arg(2000)->Arg(8192);

}  // namespace
}  // namespace corvane::bench
