#pragma once

#include "game/game_memory.h"

#include <cstdint>
#include <string>

namespace corvane {

struct LocalPlayer {
    std::uint64_t playerObject = 0;
    std::uint64_t guid = 0;
    std::uint64_t objectManager = 0;  // set as soon as it is known, even on failure
};

// Follows the client connection to the object manager and walks its object
// list (at most 8192 objects) to the local player's object. On false, `error`
// holds the failed step's message and only `objectManager` may be set.
bool findLocalPlayer(GameMemory& memory, std::uint64_t moduleBase, LocalPlayer& player,
                     std::string& error);

// True when the pointer chain still leads to `kept.objectManager` and the
// local GUID is still `kept.guid`: three reads, whatever the length of the
// list. The map id lies beside the local GUID and comes with it in `mapId`.
// Whether the kept object still carries that GUID, objectCarriesGuid tells.
bool confirmPlayer(GameMemory& memory, std::uint64_t moduleBase, const LocalPlayer& kept,
                   std::uint32_t& mapId);

// True when the object at `player.playerObject` carries `player.guid`: one read.
bool objectCarriesGuid(GameMemory& memory, const LocalPlayer& player);

}  // namespace corvane
