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

// Objects a cycle compares of the guard walk and of the search. The guard's
// 32 reads cost about 0.3% of a core natively (2000 objects a second, so a
// list of up to 2000 is met again about once a second); the search's 256
// about 3%, where a walk of 8192 objects every cycle took half a core.
constexpr int kGuardStep = 32;
constexpr int kSearchStep = 256;

// What reading the found object came to; `keep` when it is still the
// player's object, its floats plausible or not.
struct PlayerRead {
    std::optional<ReadStatus> status;
    bool keep = false;
};

// The player's floats, then its object's GUID once more, then the map (read
// already when `knownMap` is given). A game that reuses an object's memory
// gives it its new GUID before its new coordinates, so floats read before
// that GUID check are still the player's. Nothing (and the snapshot
// untouched) when the object no longer carries it.
PlayerRead readPlayer(GameMemory& memory, const LocalPlayer& player, CharacterSnapshot& snapshot,
                      std::string& error, const std::uint32_t* knownMap = nullptr) {
    CharacterSnapshot read = snapshot;
    if (!readPosition(memory, player.playerObject, read)) {
        error = "Found the local player but could not read X/Y/Z/orientation.";
        return {ReadStatus::ReadError};
    }
    const bool plausible = isPlausibleCoordinate(read.x) && isPlausibleCoordinate(read.y) &&
                           isPlausibleCoordinate(read.z) && isFiniteFloat(read.orientation);
    if (!objectCarriesGuid(memory, player)) return {};
    if (!plausible) {
        // Still the player's object: read again next cycle rather than walked.
        error = "Position data failed validation.";
        return {ReadStatus::ReadError, true};
    }
    if (knownMap != nullptr) read.mapId = *knownMap;
    if ((knownMap == nullptr && !readValue(memory, player.objectManager + layout::kMapId, read.mapId)) ||
        read.mapId > layout::kMaxMapId) {
        error = "Could not read a plausible map ID.";
        return {ReadStatus::ReadError};
    }
    read.guid = player.guid;
    read.playerObject = player.playerObject;
    read.objectManager = player.objectManager;
    snapshot = read;
    error.clear();
    return {ReadStatus::InWorld, true};
}

// The outcome of a walk that ended, the found object read.
ReadStatus afterWalk(GameMemory& memory, WalkEnd end, const LocalPlayer& player,
                     CharacterSnapshot& snapshot, std::string& error, bool& keep) {
    keep = false;
    if (end == WalkEnd::Found) {
        const PlayerRead read = readPlayer(memory, player, snapshot, error);
        keep = read.keep;
        if (read.status) return *read.status;
    }
    if (end == WalkEnd::Bound) {
        error = kLongListError;
        return ReadStatus::ReadError;
    }
    if (end != WalkEnd::Failed) error = "Local player object was not found in ObjectManager.";
    return ReadStatus::NotInWorld;
}

// One whole walk, its outcome, and whether its object is to be kept.
ReadStatus walkOnce(GameMemory& memory, std::uint64_t moduleBase, CharacterSnapshot& snapshot,
                    std::string& error, LocalPlayer& player, bool& keep) {
    WalkEnd end = WalkEnd::Failed;
    findLocalPlayer(memory, moduleBase, player, error, &end);
    return afterWalk(memory, end, player, snapshot, error, keep);
}

KeptPlayer keeping(const LocalPlayer& player, std::int64_t walkedAt) {
    KeptPlayer kept;
    kept.player = player;
    kept.walkedAt = walkedAt;
    return kept;
}

// The guard's step: false when a guard walk ended without meeting the kept
// object first of those carrying the local GUID.
bool guardHolds(GameMemory& memory, std::uint64_t moduleBase, KeptPlayer& kept, std::int64_t now) {
    std::string unused;
    if (!kept.walking) {
        // Unsigned, so a clock behind the walk counts as due too.
        if (static_cast<std::uint64_t>(now) - static_cast<std::uint64_t>(kept.walkedAt) < kWalkInterval) return true;
        if (!kept.walk.begin(memory, moduleBase, unused)) return false;
        kept.walking = true;
    }
    const std::optional<WalkEnd> end = kept.walk.advance(memory, kGuardStep, unused);
    if (!end) return true;
    kept.walking = false;
    if (*end != WalkEnd::Found || kept.walk.player().playerObject != kept.player.playerObject ||
        kept.walk.player().objectManager != kept.player.objectManager) {
        return false;
    }
    kept.walkedAt = now;
    return true;
}

ReadStatus readCycle(GameMemory& memory, std::uint64_t moduleBase, CharacterSnapshot& snapshot,
                     std::string& error, KeptPlayer* kept,
                     const std::function<std::int64_t()>* clock) {
    snapshot = CharacterSnapshot{};
    std::uint8_t state = 0;
    const bool stateRead = readValue(memory, moduleBase + layout::kConnectionState, state);
    snapshot.connectionState = state;
    if (!stateRead || state != 1) {
        if (kept != nullptr) *kept = KeptPlayer{};
        if (!stateRead) {
            error = "Could not read g_ClientConnectionState.";
            return ReadStatus::ReadError;
        }
        error.clear();
        return ReadStatus::NotInWorld;
    }
    LocalPlayer player;
    bool keep = false;
    if (kept == nullptr) return walkOnce(memory, moduleBase, snapshot, error, player, keep);

    const std::int64_t start = (*clock)();
    const bool hadPlayer = kept->player.playerObject != 0;
    if (hadPlayer) {
        std::uint32_t mapId = 0;
        if (confirmPlayer(memory, moduleBase, kept->player, mapId) &&
            guardHolds(memory, moduleBase, *kept, start)) {
            const PlayerRead read = readPlayer(memory, kept->player, snapshot, error, &mapId);
            if (read.keep) return *read.status;
        }
        *kept = KeptPlayer{};
    } else if (kept->searching) {
        // Nothing found lately: the search goes on from where it stopped.
        std::optional<WalkEnd> end;
        if (!kept->walking && !kept->walk.begin(memory, moduleBase, error)) end = WalkEnd::Failed;
        if (!end) end = kept->walk.advance(memory, kSearchStep, error);
        kept->walking = !end;
        if (!end) {
            error = kept->foundError;
            return kept->found;
        }
        const ReadStatus status = afterWalk(memory, *end, kept->walk.player(), snapshot, error, keep);
        kept->found = status;
        kept->foundError = error;
        if (keep) *kept = keeping(kept->walk.player(), (*clock)());
        return status;
    }
    // The game may say "in world" before the player's object exists.
    for (int walk = 1;; ++walk) {
        const ReadStatus status = walkOnce(memory, moduleBase, snapshot, error, player, keep);
        if (keep) {
            *kept = keeping(player, (*clock)());
            return status;
        }
        if (!hadPlayer || walk == kWalksWhenKept ||
            static_cast<std::uint64_t>((*clock)()) - static_cast<std::uint64_t>(start) >= kWalkingTime) {
            kept->searching = true;
            kept->found = status;
            kept->foundError = error;
            return status;
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
