#include "game/player_lookup.h"

#include "game/game_layout.h"
#include "game/memory_values.h"

#include <cstring>

namespace corvane {
namespace {

// An object's GUID (+0x30) and next pointer (+0x3C) share one 16-byte span,
// so one remote read can fetch both: half the reads of a long walk.
constexpr std::size_t kObjectHeadBytes =
    layout::kNextObject + sizeof(std::uint32_t) - layout::kObjectGuid;
static_assert(kObjectHeadBytes == 16);

bool readObjectHead(GameMemory& memory, std::uint64_t object, std::uint64_t& guid,
                    std::uint32_t& next) {
    unsigned char head[kObjectHeadBytes];
    if (!memory.read(object + layout::kObjectGuid, head, sizeof head)) return false;
    std::memcpy(&guid, head, sizeof guid);
    std::memcpy(&next, head + (layout::kNextObject - layout::kObjectGuid), sizeof next);
    return true;
}

}  // namespace

bool ListWalk::begin(GameMemory& memory, std::uint64_t moduleBase, std::string& error) {
    using namespace layout;
    *this = ListWalk{};
    std::uint64_t connection = 0;
    if (!readPointer(memory, moduleBase + kClientConnection, connection, kMinPointer)) {
        error = "Could not read the 3.3.5a ClientConnection pointer.";
        return false;
    }
    std::uint64_t manager = 0;
    if (!readPointer(memory, connection + kObjectManager, manager, kMinPointer)) {
        error = "Could not read ObjectManager.";
        return false;
    }
    player_.objectManager = manager;

    if (!readValue(memory, manager + kLocalPlayerGuid, localGuid_) || localGuid_ == 0) {
        error = "Local player GUID is unavailable.";
        return false;
    }
    if (!readPointer(memory, manager + kFirstObject, current_, kMinPointer)) {
        error = "Could not read the first ObjectManager object.";
        return false;
    }
    mark_ = current_;
    return true;
}

std::optional<WalkEnd> ListWalk::advance(GameMemory& memory, int budget, std::string& error) {
    using namespace layout;
    for (; budget > 0 && count_ < kMaxObjects; --budget) {
        std::uint64_t guid = 0;
        std::uint32_t next = 0;
        // When the combined read fails (say, the bytes between the two fields
        // are unreadable), the separate reads decide which failure, if any,
        // is reported, exactly as if there were no combined read.
        const bool haveNext = readObjectHead(memory, current_, guid, next);
        if (!haveNext && !readValue(memory, current_ + kObjectGuid, guid)) {
            error = "ObjectManager traversal failed while reading an object GUID.";
            return WalkEnd::Failed;
        }
        if (guid == localGuid_) {
            player_.playerObject = current_;
            player_.guid = localGuid_;
            return WalkEnd::Found;
        }
        // The match is decided before the next pointer is looked at.
        if (!haveNext && !readValue(memory, current_ + kNextObject, next)) {
            error = "ObjectManager traversal failed while reading next object pointer.";
            return WalkEnd::Failed;
        }
        ++count_;
        if (next < kMinPointer || next == current_) return WalkEnd::ListEnd;
        if (next == mark_) return WalkEnd::Loop;
        if (++steps_ == power_) {  // rest at every power of two: a loop brings us back
            mark_ = next;
            power_ *= 2;
            steps_ = 0;
        }
        current_ = next;
    }
    if (count_ < kMaxObjects) return std::nullopt;
    return WalkEnd::Bound;
}

bool findLocalPlayer(GameMemory& memory, std::uint64_t moduleBase, LocalPlayer& player,
                     std::string& error, WalkEnd* end) {
    ListWalk walk;
    WalkEnd ended = WalkEnd::Failed;
    if (walk.begin(memory, moduleBase, error)) ended = *walk.advance(memory, layout::kMaxObjects, error);
    player.objectManager = walk.player().objectManager != 0 ? walk.player().objectManager : player.objectManager;
    if (end != nullptr) *end = ended;
    if (ended == WalkEnd::Found) {
        player.playerObject = walk.player().playerObject;
        player.guid = walk.player().guid;
        return true;
    }
    if (ended != WalkEnd::Failed) error = "Local player object was not found in ObjectManager.";
    return false;
}

bool confirmPlayer(GameMemory& memory, std::uint64_t moduleBase, const LocalPlayer& kept,
                   std::uint32_t& mapId) {
    using namespace layout;
    static_assert(kMapId > kLocalPlayerGuid && kMapId - kLocalPlayerGuid == 12);
    std::uint64_t connection = 0;
    std::uint64_t manager = 0;
    // One read fewer in every cycle that keeps the player: under Wine each
    // read is a round trip to wineserver.
    unsigned char guidAndMap[kMapId + sizeof(std::uint32_t) - kLocalPlayerGuid];
    std::uint64_t localGuid = 0;
    if (kept.playerObject == 0 ||
        !readPointer(memory, moduleBase + kClientConnection, connection, kMinPointer) ||
        !readPointer(memory, connection + kObjectManager, manager, kMinPointer) ||
        manager != kept.objectManager) {
        return false;
    }
    if (memory.read(manager + kLocalPlayerGuid, guidAndMap, sizeof guidAndMap)) {
        std::memcpy(&localGuid, guidAndMap, sizeof localGuid);
        std::memcpy(&mapId, guidAndMap + (kMapId - kLocalPlayerGuid), sizeof mapId);
    } else if (!readValue(memory, manager + kLocalPlayerGuid, localGuid) ||
               !readValue(memory, manager + kMapId, mapId)) {
        return false;  // the bytes between unreadable: the two fields apart, as ever
    }
    return localGuid == kept.guid && localGuid != 0;
}

bool objectCarriesGuid(GameMemory& memory, const LocalPlayer& player) {
    std::uint64_t guid = 0;
    return player.playerObject != 0 && readValue(memory, player.playerObject + layout::kObjectGuid, guid) &&
           guid == player.guid;
}

}  // namespace corvane
