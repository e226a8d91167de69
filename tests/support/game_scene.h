#pragma once
// The game client's structures laid out in a MemoryImage at the offsets of
// World of Warcraft 3.3.5a (build 12340), written here from the documented
// numbers so that a wrong offset in the product shows.

#include "game/memory_image.h"

#include <cstdint>
#include <vector>

namespace corvane::wow {

inline constexpr std::uint64_t kState = 0x7D0792;         // from the module base, 1 byte
inline constexpr std::uint64_t kConnection = 0x879CE0;    // from the module base, pointer
inline constexpr std::uint64_t kManager = 0x2ED0;         // from the ClientConnection, pointer
inline constexpr std::uint64_t kFirst = 0xAC;             // from the ObjectManager, pointer
inline constexpr std::uint64_t kLocalGuid = 0xC0;         // from the ObjectManager, 8 bytes
inline constexpr std::uint64_t kMap = 0xCC;               // from the ObjectManager, 4 bytes
inline constexpr std::uint64_t kGuid = 0x30;              // from an object, 8 bytes
inline constexpr std::uint64_t kNext = 0x3C;              // from an object, pointer
inline constexpr std::uint64_t kY = 0x798, kX = 0x79C, kZ = 0x7A0, kFacing = 0x7A8;  // floats

// A client in the world with every pointer valid. Change a field before
// laying it out, or overwrite and hide bytes afterwards.
struct GameScene {
    std::uint64_t moduleBase = 0x00400000;
    std::uint8_t connectionState = 1;
    std::uint32_t clientConnection = 0x01200000;
    std::uint32_t objectManager = 0x01300000;
    std::uint64_t localGuid = 0x00000000000012A4;
    std::uint32_t mapId = 571;
    // In list order; the last next pointer is 0, an empty list has no first object.
    std::vector<std::uint64_t> objectGuids{0xF130000000000101, localGuid, 0xF130000000000102};
    std::uint32_t objectBase = 0x10000000;
    std::uint32_t objectStride = 0x800;
    // Put on every object that carries localGuid, with the 4 bytes between z and facing.
    float x = -8949.95f, y = -132.49f, z = 83.53f, orientation = 0.61f;

    std::uint32_t object(std::size_t index) const {
        return static_cast<std::uint32_t>(objectBase + index * objectStride);
    }
    std::uint64_t manager(std::uint64_t offset) const { return objectManager + offset; }
};

// An object's GUID and next pointer with the 4 bytes between them, as in the client.
inline void putObject(MemoryImage& image, std::uint64_t object, std::uint64_t guid,
                      std::uint32_t next) {
    image.putU64(object + kGuid, guid);
    image.putU32(object + kGuid + 8, 0);
    image.putU32(object + kNext, next);
}

inline void layOut(MemoryImage& image, const GameScene& s) {
    image.putU8(s.moduleBase + kState, s.connectionState);
    image.putU32(s.moduleBase + kConnection, s.clientConnection);
    image.putU32(std::uint64_t{s.clientConnection} + kManager, s.objectManager);
    image.putU64(s.manager(kLocalGuid), s.localGuid);
    image.putU32(s.manager(kMap), s.mapId);
    const std::size_t count = s.objectGuids.size();
    image.putU32(s.manager(kFirst), count == 0 ? 0 : s.object(0));
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t at = s.object(i);
        putObject(image, at, s.objectGuids[i], i + 1 < count ? s.object(i + 1) : 0);
        if (s.objectGuids[i] != s.localGuid) continue;
        const float floats[] = {s.y, s.x, s.z, 0.0f, s.orientation};  // from +0x798
        image.putBytes(at + kY, floats, sizeof floats);
    }
}

// `count` objects with GUIDs other than the player's, the player after them.
inline std::vector<std::uint64_t> crowdThenPlayer(std::size_t count, std::uint64_t localGuid) {
    std::vector<std::uint64_t> guids;
    for (std::size_t i = 0; i < count; ++i) guids.push_back(0xF130000000000001 + i);
    guids.push_back(localGuid);
    return guids;
}

}  // namespace corvane::wow
