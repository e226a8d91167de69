#pragma once
// The fake game client, started once for all benchmarks that read a real
// process, and the reads of it that the bridge would make.

#include "game/game_memory.h"
#include "game/game_process.h"

#include <cstdint>
#include <memory>
#include <string>

namespace corvane::bench {

class FakeGame {
public:
    static constexpr wchar_t kProcessName[] = L"WowBench.exe";

    // Started on first use; null with `error` set when that failed.
    static FakeGame* get(std::string& error);

    // Sends one command line and waits for its "ok".
    bool command(const std::string& line, std::string& error);

    GameProcess& process() noexcept { return process_; }
    std::uint32_t pid() const noexcept { return process_.id(); }

    struct Impl;
    explicit FakeGame(std::unique_ptr<Impl> impl);
    ~FakeGame();

private:
    static std::unique_ptr<FakeGame> start(std::string& error);

    std::unique_ptr<Impl> impl_;
    GameProcess process_;
};

// GameMemory over the attached process, as GameReader reads it.
class ProcessMemory final : public GameMemory {
public:
    explicit ProcessMemory(const GameProcess& process) noexcept : process_(process) {}
    bool read(std::uint64_t address, void* out, std::size_t size) override;

private:
    const GameProcess& process_;
};

}  // namespace corvane::bench
