#pragma once

#include "game/character_snapshot.h"
#include "game/game_memory.h"
#include "game/player_lookup.h"

#include <cstdint>
#include <functional>
#include <string>

namespace corvane {

// The game's object list held more objects than the walk follows, none of
// them the player's: not "not in the world".
inline constexpr char kLongListError[] =
    "The game's object list is longer than the bridge follows (8192 objects).";

// What the reader carries from one cycle to the next. The player object of
// the last cycle that found the character, kept so that the next cycles can
// confirm it with a few reads instead of walking the whole object list (an
// empty playerObject keeps nothing); and the list walked in steps over
// cycles: while a player is kept, to meet it in the list again (the guard, a
// freed object may still hold the GUID), while none is found, to look for it
// (the search).
struct KeptPlayer {
    LocalPlayer player;
    std::int64_t walkedAt = 0;  // monotonic nanoseconds when the kept object was last met in the list
    ListWalk walk;
    bool walking = false;
    bool searching = false;  // the search has begun: its last outcome stands until the next ends
    ReadStatus found = ReadStatus::NotInWorld;
    std::string foundError;
};

// Reads the connection state, finds the local player and reads its position,
// facing and map. The snapshot is zeroed first and holds only connectionState
// unless the result is InWorld. `error` is emptied on InWorld and on a
// connection state other than 1, holds the lookup's message on the other
// NotInWorld path, and the reason on ReadError (kLongListError when the walk
// stopped at its bound). The player's object must
// still carry the local GUID after its floats are read, or it was not found.
// This one walks every time, once.
ReadStatus readCharacterState(GameMemory& memory, std::uint64_t moduleBase,
                              CharacterSnapshot& snapshot, std::string& error);

// The same outcome, but carries what it can between calls. A kept object
// confirmed by its chain and GUID is read again, also when its floats fail
// the checks; the guard walk, begun a second after the kept object was last
// met in the list, takes at most 32 objects a call, and a guard walk that
// ends without meeting it drops it. A dropped object, or the first call in the
// world, walks the whole list in this very call; an InWorld walk is kept. A
// walk that does not find the player, when one was kept, is repeated (eight
// walks in all at most, none begun two seconds after the call began): the
// game relinks its list while we walk it. After a walk that did not find the
// player the search takes at most 256 objects a call, and its outcome stands
// until the next search ends: a list of up to 256 objects is walked whole in
// every call as before. `clock` gives monotonic nanoseconds, read at the
// start of a call in the world and when a walk ends.
ReadStatus readCharacterState(GameMemory& memory, std::uint64_t moduleBase,
                              CharacterSnapshot& snapshot, std::string& error, KeptPlayer& kept,
                              const std::function<std::int64_t()>& clock);

}  // namespace corvane
