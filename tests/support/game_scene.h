#pragma once
// The game client's structures laid out in a MemoryImage at the offsets of
// World of Warcraft 3.3.5a (build 12340), written here from the documented
// numbers so that a wrong offset in the product shows.

#include "game/character_read.h"
#include "game/memory_image.h"

#include <cstdint>
#include <string>
#include <vector>

namespace corvane::wow {

// From the module base: connection-state byte, ClientConnection pointer.
inline constexpr std::uint64_t kState = 0x7D0792, kConnection = 0x879CE0;
// From the ClientConnection: ObjectManager pointer.
inline constexpr std::uint64_t kManager = 0x2ED0;
// From the ObjectManager: first object pointer, local GUID (8 bytes), map id (4 bytes).
inline constexpr std::uint64_t kFirst = 0xAC, kLocalGuid = 0xC0, kMap = 0xCC;
// From an object: GUID (8 bytes), next pointer, then the floats y, x, z, facing.
inline constexpr std::uint64_t kGuid = 0x30, kNext = 0x3C;
inline constexpr std::uint64_t kY = 0x798, kX = 0x79C, kZ = 0x7A0, kFacing = 0x7A8;

// A client in the world with every pointer valid. Change a field before
// laying it out, or overwrite and hide bytes afterwards.
struct GameScene {
    std::uint64_t moduleBase = 0x7FF600400000;  // past 4 GiB, so 32-bit arithmetic shows
    std::uint8_t connectionState = 1;
    std::uint32_t clientConnection = 0x01200000;
    std::uint32_t objectManager = 0x01300000;
    std::uint64_t localGuid = 0x00000000000012A4;
    std::uint32_t mapId = 571;
    // In list order; the last next pointer is 0, an empty list has no first object.
    std::vector<std::uint64_t> objectGuids{0xF130000000000101, localGuid, 0xF130000000000102};
    std::uint32_t objectBase = 0x10000000;
    std::uint32_t objectStride = 0x800;
    // Put on every object that carries localGuid.
    float x = -8949.95f, y = -132.49f, z = 83.53f, orientation = 0.61f;

    std::uint32_t object(std::size_t index) const { return static_cast<std::uint32_t>(objectBase + index * objectStride); }
};

inline void layOut(MemoryImage& image, const GameScene& s) {
    image.putU8(s.moduleBase + kState, s.connectionState);
    image.putU32(s.moduleBase + kConnection, s.clientConnection);
    image.putU32(std::uint64_t{s.clientConnection} + kManager, s.objectManager);
    image.putU64(std::uint64_t{s.objectManager} + kLocalGuid, s.localGuid);
    image.putU32(std::uint64_t{s.objectManager} + kLocalGuid + 8, 0);
    image.putU32(std::uint64_t{s.objectManager} + kMap, s.mapId);
    const std::size_t count = s.objectGuids.size();
    image.putU32(std::uint64_t{s.objectManager} + kFirst, count == 0 ? 0 : s.object(0));
    for (std::size_t i = 0; i < count; ++i) {
        // The GUID and next pointer, and the 4 bytes between them, as in the client.
        image.putU64(s.object(i) + kGuid, s.objectGuids[i]);
        image.putU32(s.object(i) + kGuid + 8, 0);
        image.putU32(s.object(i) + kNext, i + 1 < count ? s.object(i + 1) : 0);
        const float floats[] = {s.y, s.x, s.z, 0.0f, s.orientation};  // from +0x798, a gap before the facing
        if (s.objectGuids[i] == s.localGuid) image.putBytes(s.object(i) + kY, floats, sizeof floats);
    }
}

inline MemoryImage laidOut(const GameScene& s) { MemoryImage m; layOut(m, s); return m; }
// Laid out, then `edit` run on it (which may lay out a changed scene).
inline MemoryImage laidOut(GameScene& s, void (*edit)(GameScene&, MemoryImage&)) { MemoryImage m = laidOut(s); edit(s, m); return m; }

// `others` objects of other GUIDs, then the player.
inline void layOutCrowd(MemoryImage& image, GameScene& s, std::size_t others) {
    s.objectGuids.assign(others + 1, s.localGuid);
    for (std::size_t i = 0; i < others; ++i) s.objectGuids[i] = 0xF130000000000001 + i;
    layOut(image, s);
}

// Where the default scene puts the module, ClientConnection, ObjectManager and objects.
inline constexpr std::uint64_t kBase = 0x7FF600400000, kConn = 0x1200000, kMgr = 0x1300000;
constexpr std::uint64_t obj(std::uint64_t index) { return 0x10000000 + index * 0x800; }
using S = GameScene;
using M = MemoryImage;

// One character read: walking every time without `kept`, else as the bridge does.
struct Reading {
    ReadStatus status{};
    CharacterSnapshot snapshot{1, 2, 3, 4, 5, 6, 7, 8, 9};  // leftovers every outcome replaces
    std::string error = "stale";
    friend bool operator==(const Reading&, const Reading&) = default;
};
inline Reading read(M& m, std::uint64_t base, KeptPlayer* kept = nullptr, std::int64_t now = 0) {
    Reading r;
    r.status = kept == nullptr ? readCharacterState(m, base, r.snapshot, r.error)
                               : readCharacterState(m, base, r.snapshot, r.error, *kept, [now] { return now; });
    return r;
}

}  // namespace corvane::wow
