#include "game/character_read.h"

#include "game/game_layout.h"
#include "game/memory_values.h"

#include <cstring>
#include <optional>

namespace corvane {
namespace {

constexpr std::uint64_t kWalkInterval = 1'000'000'000;  // ns

// y, x, z, four unused bytes and the facing lie together (+0x798..+0x7AB):
// one read for all four, or the four single reads when that one fails.
constexpr std::size_t kPositionBytes = layout::kOrientation + sizeof(float) - layout::kPositionY;
static_assert(kPositionBytes == 20);

bool readPosition(GameMemory& memory, std::uint64_t object, CharacterSnapshot& read) {
    using namespace layout;
    unsigned char bytes[kPositionBytes];
    if (memory.read(object + kPositionY, bytes, sizeof bytes)) {
        std::memcpy(&read.x, bytes + (kPositionX - kPositionY), sizeof read.x);
        std::memcpy(&read.y, bytes, sizeof read.y);
        std::memcpy(&read.z, bytes + (kPositionZ - kPositionY), sizeof read.z);
        std::memcpy(&read.orientation, bytes + (kOrientation - kPositionY), sizeof read.orientation);
        return true;
    }
    return readValue(memory, object + kPositionX, read.x) &&
           readValue(memory, object + kPositionY, read.y) &&
           readValue(memory, object + kPositionZ, read.z) &&
           readValue(memory, object + kOrientation, read.orientation);
}

// A walk that meets the list while the game relinks it can miss the player;
// one in the world a cycle ago is looked for again, in at most this many
// walks, and none begun once the cycle's walks have taken two seconds (a
// slow reader among a busy crowd): the link keeps the last frame meanwhile.
constexpr int kWalksWhenKept = 8;
constexpr std::uint64_t kWalkingTime = 2'000'000'000;  // ns

// The player's floats, then its object's GUID once more, then the map (read
// already when `knownMap` is given). A game that reuses an object's memory
// gives it its new GUID before its new coordinates, so floats read before
// that GUID check are still the player's. Nothing (and the snapshot
// untouched) when the object no longer carries it.
std::optional<ReadStatus> readPlayer(GameMemory& memory, const LocalPlayer& player,
                                     CharacterSnapshot& snapshot, std::string& error,
                                     const std::uint32_t* knownMap = nullptr) {
    CharacterSnapshot read = snapshot;
    if (!readPosition(memory, player.playerObject, read)) {
        error = "Found the local player but could not read X/Y/Z/orientation.";
        return ReadStatus::ReadError;
    }
    if (!isPlausibleCoordinate(read.x) || !isPlausibleCoordinate(read.y) ||
        !isPlausibleCoordinate(read.z) || !isFiniteFloat(read.orientation)) {
        error = "Position data failed validation.";
        return ReadStatus::ReadError;
    }
    if (!objectCarriesGuid(memory, player)) return std::nullopt;
    if (knownMap != nullptr) read.mapId = *knownMap;
    if ((knownMap == nullptr && !readValue(memory, player.objectManager + layout::kMapId, read.mapId)) ||
        read.mapId > layout::kMaxMapId) {
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

ReadStatus readCycle(GameMemory& memory, std::uint64_t moduleBase, CharacterSnapshot& snapshot,
                     std::string& error, KeptPlayer* kept,
                     const std::function<std::int64_t()>* clock) {
    snapshot = CharacterSnapshot{};
    std::uint8_t state = 0;
    const bool stateRead = readValue(memory, moduleBase + layout::kConnectionState, state);
    snapshot.connectionState = state;
    const bool hadPlayer = kept != nullptr && kept->player.playerObject != 0;
    const std::int64_t start = hadPlayer ? (*clock)() : 0;
    if (hadPlayer && stateRead && state == 1) {
        // Unsigned, so a clock behind the walk counts as stale too.
        const bool recent = static_cast<std::uint64_t>(start) -
                                static_cast<std::uint64_t>(kept->walkedAt) < kWalkInterval;
        std::uint32_t mapId = 0;
        if (recent && confirmPlayer(memory, moduleBase, kept->player, mapId) &&
            readPlayer(memory, kept->player, snapshot, error, &mapId) == ReadStatus::InWorld) {
            return ReadStatus::InWorld;
        }
    }
    if (kept != nullptr) *kept = KeptPlayer{};
    if (!stateRead) {
        error = "Could not read g_ClientConnectionState.";
        return ReadStatus::ReadError;
    }
    if (state != 1) {
        error.clear();
        return ReadStatus::NotInWorld;
    }
    // The game may say "in world" before the player's object exists.
    for (int walk = 1;; ++walk) {
        LocalPlayer player;
        if (findLocalPlayer(memory, moduleBase, player, error)) {
            const std::optional<ReadStatus> status = readPlayer(memory, player, snapshot, error);
            if (status == ReadStatus::InWorld && kept != nullptr) *kept = KeptPlayer{player, (*clock)()};
            if (status) return *status;
            error = "Local player object was not found in ObjectManager.";
        }
        if (!hadPlayer || walk == kWalksWhenKept ||
            static_cast<std::uint64_t>((*clock)()) - static_cast<std::uint64_t>(start) >= kWalkingTime) {
            return ReadStatus::NotInWorld;
        }
    }
}

}  // namespace

ReadStatus readCharacterState(GameMemory& memory, std::uint64_t moduleBase,
                              CharacterSnapshot& snapshot, std::string& error) {
    return readCycle(memory, moduleBase, snapshot, error, nullptr, nullptr);
}

ReadStatus readCharacterState(GameMemory& memory, std::uint64_t moduleBase,
                              CharacterSnapshot& snapshot, std::string& error, KeptPlayer& kept,
                              const std::function<std::int64_t()>& clock) {
    return readCycle(memory, moduleBase, snapshot, error, &kept, &clock);
}

}  // namespace corvane
