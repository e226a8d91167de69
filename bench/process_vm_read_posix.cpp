// The other way Linux offers to read another process: process_vm_readv. Kept
// beside the pread of /proc/<pid>/mem that the reader uses, to show the choice.

#include "bench/bench_counters.h"
#include "bench/fake_game_process.h"
#include "game/game_layout.h"

#include <benchmark/benchmark.h>
#include <sys/types.h>
#include <sys/uio.h>

#include <string>

namespace corvane::bench {
namespace {

void BM_ProcessVmReadv(benchmark::State& state) {
    std::string error;
    FakeGame* game = FakeGame::get(error);
    if (game == nullptr) {
        state.SkipWithError(error.c_str());
        return;
    }
    const auto size = static_cast<std::size_t>(state.range(0));
    unsigned char buffer[16];
    iovec local{buffer, size};
    iovec remote{reinterpret_cast<void*>(game->process().moduleBase() + layout::kClientConnection),
                 size};
    const auto pid = static_cast<pid_t>(game->pid());
    std::uint64_t reads = 0;
    std::uint64_t failures = 0;
    for (auto _ : state) {
        failures += process_vm_readv(pid, &local, 1, &remote, 1, 0) == static_cast<ssize_t>(size) ? 0 : 1;
        ++reads;
    }
    reportReads(state, reads, failures);
}

BENCHMARK(BM_ProcessVmReadv)->ArgName("bytes")->Arg(4)->Arg(16);

}  // namespace
}  // namespace corvane::bench
