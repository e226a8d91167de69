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

// How the walk reads an object. Combined takes its GUID and next pointer in one
// 16-byte read and falls back to the two separate reads whenever that fails;
// Separate always makes the two reads. Both give the same outcomes.
enum class ObjectReads { Combined, Separate };

// Follows the client connection to the object manager and walks its object
// list (at most 8192 objects) to the local player's object. On false, `error`
// holds the failed step's message and only `objectManager` may be set.
bool findLocalPlayer(GameMemory& memory, std::uint64_t moduleBase, LocalPlayer& player,
                     std::string& error, ObjectReads reads = ObjectReads::Combined);

}  // namespace corvane
