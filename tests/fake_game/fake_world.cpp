#include "tests/fake_game/fake_world.h"

#include "game/game_layout.h"

#include <atomic>
#include <cstddef>

namespace corvane::fake {
namespace {

using namespace corvane::layout;

// Objects are this far apart: their floats end at +0x7AC.
constexpr std::uint64_t kObjectStride = 0x800;
static_assert(kOrientation + sizeof(float) <= kObjectStride);

// Where our own structures go, past the two fixed locations. Two banks of
// objects: a new list is built in the one not published.
constexpr std::uint64_t kConnectionOffset = 0x880000;
constexpr std::uint64_t kObjectManagerOffset = 0x884000;
constexpr std::uint64_t kBanksOffset = 0x890000;
constexpr std::uint64_t kBankSize = FakeWorld::kMaxObjects * kObjectStride;
constexpr std::uint64_t kEndOffset = kBanksOffset + 2 * kBankSize;
static_assert(kConnectionState < kClientConnection && kClientConnection + 4 <= kConnectionOffset);
static_assert(kConnectionOffset + kObjectManager + 4 <= kObjectManagerOffset);
static_assert(kObjectManagerOffset + kMapId + 4 <= kBanksOffset);

// Zero-initialised, so it costs the image nothing on disk.
constexpr std::size_t kArenaSize = 64u << 20;
alignas(4096) constinit unsigned char g_arena[kArenaSize] = {};

std::uint64_t arenaBegin() noexcept { return reinterpret_cast<std::uintptr_t>(&g_arena[0]); }

// Atomic stores also keep the compiler from dropping writes that this
// program never reads back.
template <typename T>
void put(std::uint64_t address, T value) noexcept {
    T* target = reinterpret_cast<T*>(&g_arena[address - arenaBegin()]);
    std::atomic_ref<T>(*target).store(value, std::memory_order_release);
}

void putPointer(std::uint64_t address, std::uint64_t pointer) noexcept {
    put(address, static_cast<std::uint32_t>(pointer));
}

}  // namespace

bool FakeWorld::setUp(std::uint64_t moduleBase, std::string& error) {
    if (moduleBase + kConnectionState < arenaBegin() ||
        moduleBase + kEndOffset > arenaBegin() + kArenaSize) {
        error = "the arena does not cover every game address";
        return false;
    }
    if (moduleBase + kEndOffset > 0x100000000ull) {
        error = "the game addresses do not all lie below 4 GiB";
        return false;
    }
    base_ = moduleBase;
    put(base_ + kObjectManagerOffset + kLocalPlayerGuid, guid_);
    putPointer(base_ + kConnectionOffset + kObjectManager, base_ + kObjectManagerOffset);
    buildAndPublish();
    linkConnection(true);
    return true;
}

std::uint64_t FakeWorld::objectAddress(std::uint32_t bank, std::uint32_t index) const noexcept {
    return base_ + kBanksOffset + bank * kBankSize + index * kObjectStride;
}

void FakeWorld::setConnectionState(std::uint8_t state) { put(base_ + kConnectionState, state); }

void FakeWorld::writePosition(std::uint64_t object) noexcept {
    const std::uint64_t offsets[4] = {kPositionX, kPositionY, kPositionZ, kOrientation};
    for (int i = 0; i < 4; ++i) put(object + offsets[i], position_[i]);
}

void FakeWorld::setPosition(float x, float y, float z, float orientation) {
    position_[0] = x;
    position_[1] = y;
    position_[2] = z;
    position_[3] = orientation;
    if (playerIndex_ < count_) writePosition(objectAddress(bank_, playerIndex_));
}

void FakeWorld::setMapId(std::uint32_t mapId) { put(base_ + kObjectManagerOffset + kMapId, mapId); }

void FakeWorld::setLocalGuid(std::uint64_t guid) {
    guid_ = guid;
    // The other objects' GUIDs derive from this one, so the list is rebuilt.
    buildAndPublish();
    put(base_ + kObjectManagerOffset + kLocalPlayerGuid, guid_);
}

void FakeWorld::setObjectList(std::uint32_t count, std::uint32_t playerIndex) {
    count_ = count;
    playerIndex_ = playerIndex;
    buildAndPublish();
}

void FakeWorld::linkConnection(bool linked) {
    putPointer(base_ + kClientConnection, linked ? base_ + kConnectionOffset : 0);
}

void FakeWorld::buildAndPublish() {
    const std::uint32_t bank = bank_ ^ 1u;
    for (std::uint32_t i = 0; i < count_; ++i) {
        const std::uint64_t object = objectAddress(bank, i);
        // Every other GUID differs from the player's and from each other.
        put(object + kObjectGuid,
            i == playerIndex_ ? guid_ : guid_ ^ (0x8000000000000000ull | (std::uint64_t{i} + 1)));
        putPointer(object + kNextObject, i + 1 < count_ ? objectAddress(bank, i + 1) : 0);
    }
    if (playerIndex_ < count_) writePosition(objectAddress(bank, playerIndex_));
    const std::uint64_t first = count_ > 0 ? objectAddress(bank, 0) : 0;
    putPointer(base_ + kObjectManagerOffset + kFirstObject, first);
    bank_ = bank;
}

}  // namespace corvane::fake
