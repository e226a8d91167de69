// Reads of a real process: the fake game client with lists of 1 to 8192
// objects, the player last. These are the figures that decide the cycle's cost.

#include "bench/bench_counters.h"
#include "bench/fake_game_process.h"
#include "driver/options.h"
#include "driver/poses.h"
#include "driver/presence.h"
#include "game/character_read.h"
#include "game/game_layout.h"
#include "game/game_reader.h"
#include "game/memory_values.h"
#include "game/player_lookup.h"
#include "link/link_writer.h"
#include "link/shared_memory.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace corvane::bench {
namespace {

const std::string kBenchLinkName = "CorvaneBenchLiveLink";

// The fake game in the world with `objects` objects, the player last.
FakeGame* prepare(benchmark::State& state, std::int64_t objects) {
    std::string error;
    FakeGame* game = FakeGame::get(error);
    const std::string count = std::to_string(objects);
    if (game == nullptr || !game->command("state 1", error) ||
        !game->command("list " + count + " " + std::to_string(objects - 1), error)) {
        state.SkipWithError(error.c_str());
        return nullptr;
    }
    return game;
}

void BM_ProcessRead(benchmark::State& state) {
    FakeGame* game = prepare(state, 1);
    if (game == nullptr) return;
    ProcessMemory memory(game->process());
    const auto size = static_cast<std::size_t>(state.range(0));
    const std::uint64_t address = game->process().moduleBase() + layout::kClientConnection;
    unsigned char buffer[16];
    std::uint64_t reads = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(memory.read(address, buffer, size));
        ++reads;
    }
    reportReads(state, reads);
}

// The walk's reads alone, the same 16-byte reads of the same objects in the
// same order, with nothing done between them: what the lookup is held to.
void BM_ProcessObjectReads(benchmark::State& state) {
    FakeGame* game = prepare(state, state.range(0));
    if (game == nullptr) return;
    ProcessMemory memory(game->process());
    std::vector<std::uint64_t> objects;
    std::uint64_t current = 0;
    const std::uint64_t base = game->process().moduleBase();
    std::uint64_t connection = 0;
    std::uint64_t manager = 0;
    if (!readPointer(memory, base + layout::kClientConnection, connection, layout::kMinPointer) ||
        !readPointer(memory, connection + layout::kObjectManager, manager, layout::kMinPointer) ||
        !readPointer(memory, manager + layout::kFirstObject, current, layout::kMinPointer)) {
        state.SkipWithError("the fake game's object list is not readable");
        return;
    }
    while (current != 0 && objects.size() < static_cast<std::size_t>(state.range(0))) {
        objects.push_back(current);
        readPointer(memory, current + layout::kNextObject, current, layout::kMinPointer);
    }
    unsigned char head[16];
    std::uint64_t reads = 0;
    for (auto _ : state) {
        for (const std::uint64_t object : objects) {
            benchmark::DoNotOptimize(memory.read(object + layout::kObjectGuid, head, sizeof head));
        }
        reads += objects.size();
    }
    reportReads(state, reads);
}

void BM_ProcessLookup(benchmark::State& state) {
    FakeGame* game = prepare(state, state.range(0));
    if (game == nullptr) return;
    const auto reads = state.range(1) == 0 ? ObjectReads::Combined : ObjectReads::Separate;
    ProcessMemory process(game->process());
    CountingMemory memory(process);
    const std::uint64_t base = game->process().moduleBase();
    LocalPlayer player;
    std::string error;
    bool found = false;
    for (auto _ : state) {
        found = findLocalPlayer(memory, base, player, error, reads);
        benchmark::DoNotOptimize(found);
    }
    if (!found) state.SkipWithError(error.c_str());
    reportReads(state, memory.reads());
}

void BM_ProcessCharacterRead(benchmark::State& state) {
    FakeGame* game = prepare(state, state.range(0));
    if (game == nullptr) return;
    ProcessMemory process(game->process());
    CountingMemory memory(process);
    const std::uint64_t base = game->process().moduleBase();
    CharacterSnapshot snapshot;
    std::string error;
    ReadStatus status = ReadStatus::ReadError;
    for (auto _ : state) {
        status = readCharacterState(memory, base, snapshot, error);
        benchmark::DoNotOptimize(status);
    }
    if (status != ReadStatus::InWorld) state.SkipWithError(error.c_str());
    reportReads(state, memory.reads());
}

// One whole live cycle as the bridge runs it, minus the status line and the
// pause: read through GameReader, presence step, publish.
void BM_LiveCycle(benchmark::State& state) {
    FakeGame* game = prepare(state, state.range(0));
    if (game == nullptr) return;
    GameReader reader;
    if (!reader.attach(FakeGame::kProcessName) || reader.processId() != game->pid()) {
        state.SkipWithError("could not attach the reader to the fake game");
        return;
    }
    removeSharedMemory(kBenchLinkName);
    LinkWriter link(kBenchLinkName);
    if (!link.open()) {
        state.SkipWithError(link.lastError().c_str());
        return;
    }
    const BridgeOptions options;
    LinkFrame frame{isolationPose(options.identity), options.identity, options.context};
    PresenceTracker presence(frame.pose);
    bool placed = false;
    const auto cycle = [&] {
        CharacterSnapshot snapshot{};
        const ReadStatus status = reader.readCharacter(snapshot);
        const PresenceOutcome outcome =
            presence.step(status, snapshot, reader.lastError(), options);
        frame.pose = outcome.pose;
        benchmark::DoNotOptimize(link.publish(frame));
        placed = !outcome.isolated;
    };
    // Measure the placed character, as in a long session: past the first reads.
    for (int i = 0; i < kInWorldReadsToPlace; ++i) cycle();
    for (auto _ : state) cycle();
    if (!placed) state.SkipWithError(reader.lastError().c_str());
    link.close();
    removeSharedMemory(kBenchLinkName);
}

// Timed in CPU time (the kernel's share of a read included), which other
// work on a busy machine disturbs less than the wall clock.
BENCHMARK(BM_ProcessRead)->ArgName("bytes")->Arg(4)->Arg(8)->Arg(16);
BENCHMARK(BM_ProcessObjectReads)->ArgName("objects")->Arg(500)->Arg(2000)->Arg(8192);
// Second argument: 0 the combined read, 1 the separate reads.
BENCHMARK(BM_ProcessLookup)
    ->ArgNames({"objects", "separate"})
    ->ArgsProduct({{1, 500, 2000, 8192}, {0, 1}});
BENCHMARK(BM_ProcessCharacterRead)->ArgName("objects")->Arg(1)->Arg(500)->Arg(2000)->Arg(8192);
BENCHMARK(BM_LiveCycle)->ArgName("objects")->Arg(1)->Arg(500)->Arg(2000)->Arg(8192);

}  // namespace
}  // namespace corvane::bench
