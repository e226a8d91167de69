#pragma once

#include "game/character_read.h"
#include "game/character_snapshot.h"
#include "game/client_version.h"
#include "game/game_memory.h"
#include "game/game_process.h"
#include "game/player_lookup.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace corvane {

// The bridge's only access to the game: attached once, then read each cycle.
class GameReader final : private GameMemory {
public:
    GameReader() = default;
    GameReader(const GameReader&) = delete;
    GameReader& operator=(const GameReader&) = delete;

    // Looks at every live process of the player's named `exeName` (with a
    // `command`, only the command's) and attaches the best (chooseCandidate):
    // the client this bridge reads, whose connection state can be read, ahead
    // of any other process of that name. Fails with the reason when the best
    // could not be opened or is another build. The messages name "Wow.exe"
    // whatever the name.
    bool attach(std::wstring_view exeName, const CommandProcesses* command = nullptr);
    // Attaches to exactly the process `pid`, whatever its name, unless it is
    // another build of the client; the messages name "process <pid>".
    bool attachToProcess(std::uint32_t pid);
    // Closes the process; keeps lastError.
    void close() noexcept;

    // Whether the attached game process has ended. Cheap enough for once a
    // second, not meant for every cycle.
    bool gameHasExited() const noexcept { return process_.hasExited(); }
    // After a failed attach: whether there was no such process at all.
    bool gameMissing() const noexcept { return missing_; }
    // Every live process of the name that the last attach by name found, in
    // search order but the attached one first.
    const std::vector<std::uint32_t>& foundProcessIds() const noexcept { return found_; }
    // What the last attach saw of each process it looked at: the one attached
    // (or refused) first, then the others in search order.
    const std::vector<ProcessLook>& looks() const noexcept { return looks_; }
    // How many live processes of the name the last attach by name left out
    // as another user's.
    std::size_t othersLeftOut() const noexcept { return others_; }

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

    // Returns whether `status` is success; sets lastError; `what` names the process.
    bool finishAttach(GameProcess::Status status, std::uint32_t code, std::string_view what);

    GameProcess process_;
    bool missing_ = true;
    int yamaScope_ = 0;  // of the process refused
    std::vector<std::uint32_t> found_;
    std::size_t others_ = 0;
    std::vector<ProcessLook> looks_;
    std::string lastError_;
    KeptPlayer kept_;  // what the last walk found; emptied by close()
};

}  // namespace corvane
