#pragma once

#include "game/game_memory.h"

#include <cstdint>
#include <optional>
#include <string>

namespace corvane {

struct LocalPlayer {
    std::uint64_t playerObject = 0;
    std::uint64_t guid = 0;
    std::uint64_t objectManager = 0;  // set as soon as it is known, even on failure
};

// How a walk of the object list ended.
enum class WalkEnd {
    Found,    // at the first object carrying the local GUID
    ListEnd,  // a next pointer below 0x10000 or to the object itself
    Loop,     // the list led back to an object already compared
    Bound,    // 8192 objects compared and the list went on
    Failed,   // a read failed; the message says which
};

// A walk of the object list that may be taken in steps, some objects each
// cycle. A looping list is noticed by the walk's own addresses (Brent's
// method: one address kept, none read twice), so a loop within the first
// 4096 objects ends the walk before the bound.
class ListWalk {
public:
    // Follows the client connection to the object manager and the list's
    // head; false with the failed step's message.
    bool begin(GameMemory& memory, std::uint64_t moduleBase, std::string& error);
    // Compares at most `budget` more objects: nothing while the walk goes on.
    // Resumed, it goes on from the next pointer read last, as the game has
    // it then; the caller checks what it found as after any walk.
    std::optional<WalkEnd> advance(GameMemory& memory, int budget, std::string& error);
    // The object manager once begun; the object and GUID once Found.
    const LocalPlayer& player() const noexcept { return player_; }
    int compared() const noexcept { return count_; }

private:
    LocalPlayer player_;
    std::uint64_t localGuid_ = 0;
    std::uint64_t current_ = 0;
    std::uint64_t mark_ = 0;  // the loop check's resting address
    int power_ = 1, steps_ = 0;
    int count_ = 0;
};

// Follows the client connection to the object manager and walks its object
// list (at most 8192 objects) to the local player's object. On false, `error`
// holds the failed step's message and only `objectManager` may be set; `end`,
// when given, says why the walk stopped.
bool findLocalPlayer(GameMemory& memory, std::uint64_t moduleBase, LocalPlayer& player,
                     std::string& error, WalkEnd* end = nullptr);

// True when the pointer chain still leads to `kept.objectManager` and the
// local GUID is still `kept.guid`: three reads, whatever the length of the
// list. The map id lies beside the local GUID and comes with it in `mapId`.
// Whether the kept object still carries that GUID, objectCarriesGuid tells.
bool confirmPlayer(GameMemory& memory, std::uint64_t moduleBase, const LocalPlayer& kept,
                   std::uint32_t& mapId);

// True when the object at `player.playerObject` carries `player.guid`: one read.
bool objectCarriesGuid(GameMemory& memory, const LocalPlayer& player);

}  // namespace corvane
