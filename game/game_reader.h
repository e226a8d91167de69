#pragma once

#include "game/character_read.h"
#include "game/character_snapshot.h"
#include "game/game_memory.h"
#include "game/game_process.h"
#include "game/player_lookup.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace corvane {

// The bridge's only access to the game: attached once, then read each cycle.
class GameReader final : private GameMemory {
public:
    GameReader() = default;
    GameReader(const GameReader&) = delete;
    GameReader& operator=(const GameReader&) = delete;

    // Attaches to the first process named `exeName` (case-insensitive). The
    // messages name "Wow.exe" whatever the name.
    bool attach(std::wstring_view exeName);
    // Closes the process; keeps lastError.
    void close() noexcept;

    // Reads one value of the game's memory; zero and false unless all of it was read.
    template <typename T>
    bool readRemote(std::uint64_t address, T& value) {
        static_assert(std::is_same_v<T, std::uint8_t> || std::is_same_v<T, std::uint32_t> ||
                      std::is_same_v<T, std::uint64_t> || std::is_same_v<T, float>);
        value = T{};
        return readBytes(address, &value, sizeof value);
    }

    bool findLocalPlayer(LocalPlayer& player);
    ReadStatus readCharacter(CharacterSnapshot& snapshot);

    bool attached() const noexcept { return process_.isOpen(); }
    std::uint32_t processId() const noexcept { return process_.id(); }
    std::uint64_t moduleBase() const noexcept { return process_.moduleBase(); }
    const std::string& lastError() const noexcept { return lastError_; }

private:
    // The one place that reads the game's memory.
    bool readBytes(std::uint64_t address, void* out, std::size_t size);
    bool read(std::uint64_t address, void* out, std::size_t size) override {
        return readBytes(address, out, size);
    }

    GameProcess process_;
    std::string lastError_;
    KeptPlayer kept_;  // what the last walk found; emptied by close()
};

}  // namespace corvane
