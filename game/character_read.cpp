#include "game/character_read.h"

#include "game/game_layout.h"
#include "game/memory_values.h"
#include "game/player_lookup.h"

namespace corvane {

ReadStatus readCharacterState(GameMemory& memory, std::uint64_t moduleBase,
                              CharacterSnapshot& snapshot, std::string& error) {
    using namespace layout;
    snapshot = CharacterSnapshot{};

    std::uint8_t state = 0;
    if (!readValue(memory, moduleBase + kConnectionState, state)) {
        error = "Could not read g_ClientConnectionState.";
        return ReadStatus::ReadError;
    }
    snapshot.connectionState = state;
    if (state != 1) {
        error.clear();
        return ReadStatus::NotInWorld;
    }

    // The game may say "in world" before the player's object exists.
    LocalPlayer player;
    if (!findLocalPlayer(memory, moduleBase, player, error)) return ReadStatus::NotInWorld;

    // Gathered apart and copied only once everything is read and plausible.
    CharacterSnapshot read = snapshot;
    if (!readValue(memory, player.playerObject + kPositionX, read.x) ||
        !readValue(memory, player.playerObject + kPositionY, read.y) ||
        !readValue(memory, player.playerObject + kPositionZ, read.z) ||
        !readValue(memory, player.playerObject + kOrientation, read.orientation)) {
        error = "Found the local player but could not read X/Y/Z/orientation.";
        return ReadStatus::ReadError;
    }
    if (!isPlausibleCoordinate(read.x) || !isPlausibleCoordinate(read.y) ||
        !isPlausibleCoordinate(read.z) || !isFiniteFloat(read.orientation)) {
        error = "Position data failed validation.";
        return ReadStatus::ReadError;
    }
    if (!readValue(memory, player.objectManager + kMapId, read.mapId) || read.mapId > kMaxMapId) {
        error = "Could not read a plausible map ID.";
        return ReadStatus::ReadError;
    }

    read.guid = player.guid;
    read.playerObject = player.playerObject;
    read.objectManager = player.objectManager;
    snapshot = read;
    error.clear();
    return ReadStatus::InWorld;
}

}  // namespace corvane
