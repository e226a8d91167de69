#pragma once
// The fake game's memory: the client connection, the object manager and the
// object list, laid out at the game's own offsets from our module base, inside
// one zero-initialised static arena of our image (so every address stays
// below 4 GiB and fits the game's 32-bit pointers).
//
// Every store is a single aligned atomic store, and a new object list is
// built aside and then published by one pointer store, so a reader in another
// process never walks a half-built list.

#include <cstdint>
#include <string>

namespace corvane::fake {

class FakeWorld {
public:
    // Enough for a list one longer than the reader's 8192-object limit.
    static constexpr std::uint32_t kMaxObjects = 9000;

    // Lays the structures out from `moduleBase` and publishes the first state:
    // glue screen, map 0, GUID 0x2A, the player alone at (0, 0, 0) facing 0.
    // False, with the reason, when the arena does not hold every address below 4 GiB.
    bool setUp(std::uint64_t moduleBase, std::string& error);

    void setConnectionState(std::uint8_t state);
    // Game coordinates as the snapshot names them: x, y, height z, orientation.
    void setPosition(float x, float y, float z, float orientation);
    void setMapId(std::uint32_t mapId);
    void setLocalGuid(std::uint64_t guid);
    // `count` (at most kMaxObjects) objects, the player at 0-based
    // `playerIndex` (absent when playerIndex >= count).
    void setObjectList(std::uint32_t count, std::uint32_t playerIndex);
    // Clears or restores the ClientConnection pointer.
    void linkConnection(bool linked);

private:
    std::uint64_t objectAddress(std::uint32_t bank, std::uint32_t index) const noexcept;
    void writePosition(std::uint64_t object) noexcept;
    void buildAndPublish();

    std::uint64_t base_ = 0;
    std::uint32_t bank_ = 0;  // the bank published last
    std::uint64_t guid_ = 0x2A;
    std::uint32_t count_ = 1;
    std::uint32_t playerIndex_ = 0;
    float position_[4] = {};  // x, y, z, orientation
};

}  // namespace corvane::fake
