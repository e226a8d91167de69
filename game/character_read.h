#pragma once

#include "game/character_snapshot.h"
#include "game/game_memory.h"

#include <cstdint>
#include <string>

namespace corvane {

// Reads the connection state, finds the local player and reads its position,
// facing and map. The snapshot is zeroed first and holds only connectionState
// unless the result is InWorld. `error` is emptied on InWorld and on a
// connection state other than 1, holds the lookup's message on the other
// NotInWorld path, and the reason on ReadError.
ReadStatus readCharacterState(GameMemory& memory, std::uint64_t moduleBase,
                              CharacterSnapshot& snapshot, std::string& error);

}  // namespace corvane
