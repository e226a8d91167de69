#include "game/character_read.h"

#include "game/game_layout.h"
#include "game/memory_values.h"

#include <cstring>

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

// The found player's floats and map; the snapshot changes only on InWorld.
ReadStatus readPlayer(GameMemory& memory, const LocalPlayer& player, CharacterSnapshot& snapshot,
                      std::string& error) {
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
    if (!readValue(memory, player.objectManager + layout::kMapId, read.mapId) ||
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
    if (kept != nullptr && stateRead && state == 1) {
        // Unsigned, so a clock behind the walk counts as stale too.
        const bool recent = static_cast<std::uint64_t>((*clock)()) -
                                static_cast<std::uint64_t>(kept->walkedAt) < kWalkInterval;
        if (recent && confirmPlayer(memory, moduleBase, kept->player) &&
            readPlayer(memory, kept->player, snapshot, error) == ReadStatus::InWorld) {
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
    LocalPlayer player;
    if (!findLocalPlayer(memory, moduleBase, player, error)) return ReadStatus::NotInWorld;
    const ReadStatus status = readPlayer(memory, player, snapshot, error);
    if (kept != nullptr && status == ReadStatus::InWorld) *kept = KeptPlayer{player, (*clock)()};
    return status;
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
