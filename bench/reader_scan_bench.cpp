// Who reads the link: what one look at /proc costs, on this machine as it is
// and among a crowd of processes with many mappings each, as a desktop with a
// browser and a game under Wine has.

#include "link/link_readers.h"
#include "link/shared_memory.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <dirent.h>
#include <fstream>
#include <string>
#include <vector>

namespace corvane::bench {
namespace {

const std::string kBenchLinkName = "CorvaneBenchReaders";

// Child processes that each map `mappings` pages of this program, every one a
// mapping of its own (alternate offsets never merge), until killed.
class Crowd {
public:
    Crowd(int processes, int mappings) {
        for (int p = 0; p < processes; ++p) {
            const pid_t pid = fork();
            if (pid == 0) {
                const int fd = open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
                for (int i = 0; fd >= 0 && i < mappings; ++i) {
                    mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE, fd, (i % 2) * 8192);
                }
                pause();
                _exit(0);
            }
            if (pid > 0) children_.push_back(pid);
        }
        usleep(200'000);  // mapped by now
    }
    ~Crowd() {
        for (const pid_t pid : children_) kill(pid, SIGKILL);
        for (const pid_t pid : children_) waitpid(pid, nullptr, 0);
    }

private:
    std::vector<pid_t> children_;
};

// The lines of maps the full look reads: this user's processes but this one.
double mapsLines() {
    double lines = 0;
    const std::unique_ptr<DIR, int (*)(DIR*)> proc(opendir("/proc"), closedir);
    while (const dirent* entry = proc ? readdir(proc.get()) : nullptr) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9' || std::stoi(entry->d_name) == getpid()) continue;
        std::ifstream maps(std::string("/proc/") + entry->d_name + "/maps");
        for (std::string line; std::getline(maps, line);) ++lines;
    }
    return lines;
}

// range(0) processes of range(1) mappings each; range(2): a full look (1), as
// at start, one after someone opened and closed the link (2), or one between
// them (0).
void BM_ReaderScan(benchmark::State& state) {
    const Crowd crowd(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    removeSharedMemory(kBenchLinkName);
    SharedMemory link;
    std::uint32_t code = 0;
    if (link.openOrCreate(kBenchLinkName, 10580, code, SharedMemory::Access::Exclusive) != SharedMemory::Status::Ok) {
        state.SkipWithError("The link could not be made.");
        return;
    }
    const std::atomic<bool> never{false};
    ReaderScan kept;
    kept.find(link.identity(), never);
    const std::string path = "/dev/shm/" + kBenchLinkName;
    for (auto _ : state) {
        if (state.range(2) == 2) {
            state.PauseTiming();
            close(open(path.c_str(), O_RDONLY | O_CLOEXEC));  // inotify tells of it
            state.ResumeTiming();
            benchmark::DoNotOptimize(kept.find(link.identity(), never));
        } else if (state.range(2) != 0) {
            ReaderScan fresh;
            benchmark::DoNotOptimize(fresh.find(link.identity(), never));
        } else {
            benchmark::DoNotOptimize(kept.find(link.identity(), never));
        }
    }
    state.counters["maps_lines"] = mapsLines();
    link.reset();
    removeSharedMemory(kBenchLinkName);
}

BENCHMARK(BM_ReaderScan)
    ->ArgNames({"processes", "mappings", "look"})
    ->Args({0, 0, 1})
    ->Args({0, 0, 0})
    ->Args({100, 1000, 1})
    ->Args({100, 1000, 0})
    ->Args({100, 1000, 2})
    ->Args({4000, 30, 1})
    ->Args({4000, 30, 2})
    ->Args({4000, 30, 0})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvane::bench
