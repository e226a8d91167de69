#pragma once

#include "game/character_snapshot.h"
#include "game/game_memory.h"
#include "game/player_lookup.h"

#include <cstdint>
#include <functional>
#include <string>

namespace corvane {

// The player object of the last cycle that found the character in the world,
// kept so that the next cycles can confirm it with a few reads instead of
// walking the whole object list. An empty playerObject keeps nothing.
struct KeptPlayer {
    LocalPlayer player;
    std::int64_t walkedAt = 0;  // monotonic nanoseconds when the walk that found it ended
};

// Reads the connection state, finds the local player and reads its position,
// facing and map. The snapshot is zeroed first and holds only connectionState
// unless the result is InWorld. `error` is emptied on InWorld and on a
// connection state other than 1, holds the lookup's message on the other
// NotInWorld path, and the reason on ReadError. The player's object must
// still carry the local GUID after its floats are read, or it was not found.
// This one walks every time, once.
ReadStatus readCharacterState(GameMemory& memory, std::uint64_t moduleBase,
                              CharacterSnapshot& snapshot, std::string& error);

// The same outcome, but uses the kept object while confirmPlayer accepts it
// and its walk ended less than a second ago (a freed object may still hold
// the GUID). Anything else, or a kept object that does not give InWorld,
// drops it and walks in this very call; an InWorld walk is kept. A walk that
// does not find the player, when one was kept, is repeated (eight walks in
// all at most, none begun two seconds after the call began): the game
// relinks its list while we walk it. `clock` gives monotonic nanoseconds; it
// is read when the call starts with a kept object and when a walk ends, so
// that a walk slower than a second is not repeated every cycle.
ReadStatus readCharacterState(GameMemory& memory, std::uint64_t moduleBase,
                              CharacterSnapshot& snapshot, std::string& error, KeptPlayer& kept,
                              const std::function<std::int64_t()>& clock);

}  // namespace corvane
