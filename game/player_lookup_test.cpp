#include "game/player_lookup.h"

#include "game/game_layout.h"
#include "game/memory_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace corvane {
namespace {

using namespace layout;

const char* const kConnectionFailed = "Could not read the 3.3.5a ClientConnection pointer.";
const char* const kManagerFailed = "Could not read ObjectManager.";
const char* const kFirstFailed = "Could not read the first ObjectManager object.";
const char* const kNotFound = "Local player object was not found in ObjectManager.";
const char* const kNextFailed = "ObjectManager traversal failed while reading next object pointer.";

// Outputs a failed lookup must leave alone (the manager until it is known).
constexpr LocalPlayer kUntouched{0xAAAAAAAAAAAAAAAA, 0xBBBBBBBBBBBBBBBB, 0xCCCCCCCCCCCCCCCC};

struct Lookup {
    bool found = false;
    LocalPlayer player = kUntouched;
    std::string error = "stale";
};

// Memory on which every 16-byte read fails, as when the bytes between an
// object's GUID and its next pointer are unreadable: the walk must fall back.
struct WideReadsFail final : GameMemory {
    explicit WideReadsFail(MemoryImage& memory) : image(memory) {}
    bool read(std::uint64_t address, void* out, std::size_t size) override {
        return image.read(address, out, size) && size <= 8;
    }
    MemoryImage& image;
};

struct Mode {
    const char* name;
    ObjectReads reads;
    bool wideReadsFail;
};

class PlayerLookup : public testing::TestWithParam<Mode> {
protected:
    static Lookup lookUp(MemoryImage& image, const GameScene& scene) {
        WideReadsFail narrow(image);
        GameMemory& memory = GetParam().wideReadsFail ? static_cast<GameMemory&>(narrow) : image;
        Lookup result;
        result.found = findLocalPlayer(memory, scene.moduleBase, result.player, result.error,
                                       GetParam().reads);
        return result;
    }
};

INSTANTIATE_TEST_SUITE_P(Reads, PlayerLookup,
                         testing::Values(Mode{"Combined", ObjectReads::Combined, false},
                                         Mode{"Separate", ObjectReads::Separate, false},
                                         Mode{"CombinedFallingBack", ObjectReads::Combined, true}),
                         [](const testing::TestParamInfo<Mode>& mode) { return mode.param.name; });

std::vector<std::uint64_t> otherGuids(std::size_t count) {
    std::vector<std::uint64_t> guids;
    for (std::size_t i = 0; i < count; ++i) guids.push_back(0xF130000000000001 + i);
    return guids;
}

// Objects whose GUID was asked for; a combined walk starts each with a 16-byte read.
std::size_t visits(const MemoryImage& image, const GameScene& scene, ObjectReads reads) {
    const std::size_t size = reads == ObjectReads::Separate ? 8 : 16;
    return static_cast<std::size_t>(std::ranges::count_if(image.reads(), [&](const auto& access) {
        return access.size == size && access.address != scene.managerField(kLocalPlayerGuid);
    }));
}

void expectFoundAt(const Lookup& result, const GameScene& scene, std::uint64_t object) {
    EXPECT_TRUE(result.found) << result.error;
    EXPECT_EQ(result.player.playerObject, object);
    EXPECT_EQ(result.player.guid, scene.localGuid);
    EXPECT_EQ(result.player.objectManager, scene.objectManager);
}

void expectFailure(const Lookup& result, const GameScene& scene, const std::string& message,
                   bool managerKnown) {
    EXPECT_FALSE(result.found);
    EXPECT_EQ(result.error, message);
    EXPECT_EQ(result.player.playerObject, kUntouched.playerObject);
    EXPECT_EQ(result.player.guid, kUntouched.guid);
    EXPECT_EQ(result.player.objectManager,
              managerKnown ? scene.objectManager : kUntouched.objectManager);
}

TEST_P(PlayerLookup, FindsThePlayer) {
    // The player at 0xFFFFFFF0 has its GUID past 4 GiB; GUIDs that differ from
    // the player's only in the upper half do not match.
    GameScene top;
    top.objectBase = 0xFFFFF000;
    top.objectStride = 0xFF0;
    top.objectGuids.pop_back();
    GameScene upperHalf;
    upperHalf.localGuid = 0x0000000100000007;
    upperHalf.objectGuids = {0x0000000000000007, upperHalf.localGuid};
    for (const GameScene& scene : {GameScene{}, top, upperHalf}) {
        SCOPED_TRACE(testing::Message() << std::hex << scene.object(1) << ' ' << scene.localGuid);
        MemoryImage image;
        layOut(image, scene);
        expectFoundAt(lookUp(image, scene), scene, scene.object(1));
    }
}

// Where each step of the lookup reads.
std::uint64_t connectionSlot(const GameScene& s) { return s.moduleField(kClientConnection); }
std::uint64_t managerSlot(const GameScene& s) { return s.clientConnection + kObjectManager; }
std::uint64_t localGuidSlot(const GameScene& s) { return s.managerField(kLocalPlayerGuid); }
std::uint64_t firstObjectSlot(const GameScene& s) { return s.managerField(kFirstObject); }
std::uint64_t objectGuidSlot(const GameScene& s) { return s.object(0) + kObjectGuid; }
std::uint64_t nextObjectSlot(const GameScene& s) { return s.object(0) + kNextObject; }

TEST_P(PlayerLookup, StopsAtTheFirstBrokenStep) {
    // Only the last byte of the value is unreadable, which a narrower read would miss.
    struct Case {
        std::uint64_t (*slot)(const GameScene&);
        std::size_t size;
        bool zero;  // readable, but zero (only for the 8-byte local GUID)
        const char* message;
        bool managerKnown;
    };
    const char* const guid = "Local player GUID is unavailable.";
    const char* const objectGuid = "ObjectManager traversal failed while reading an object GUID.";
    const Case cases[] = {
        {connectionSlot, 4, false, kConnectionFailed, false},
        {managerSlot, 4, false, kManagerFailed, false},
        {localGuidSlot, 8, false, guid, true},
        {localGuidSlot, 8, true, guid, true},
        {firstObjectSlot, 4, false, kFirstFailed, true},
        {objectGuidSlot, 8, false, objectGuid, true},
        {nextObjectSlot, 4, false, kNextFailed, true},
    };
    for (std::size_t row = 0; row < std::size(cases); ++row) {
        SCOPED_TRACE(testing::Message() << "row " << row);
        const Case& c = cases[row];
        MemoryImage image;
        const GameScene scene;
        layOut(image, scene);
        const std::uint64_t slot = c.slot(scene);
        if (c.zero) image.putU64(slot, 0);
        if (!c.zero) image.makeUnreadable(slot + c.size - 1, 1);
        expectFailure(lookUp(image, scene), scene, c.message, c.managerKnown);
        // Nothing is read after the failed step.
        ASSERT_FALSE(image.reads().empty());
        EXPECT_EQ(image.reads().back(), (MemoryImage::Access{slot, c.size}));
    }
}

TEST_P(PlayerLookup, PointersStartAt0x10000) {
    // The whole scene, or a player object, sits behind each pointer tried, so
    // following a rejected one would succeed.
    struct Case {
        std::uint32_t GameScene::*pointer;  // null: the first object's next pointer
        std::uint32_t value;
        const char* message;  // null: found
    };
    const Case cases[] = {
        {&GameScene::clientConnection, 0xFFFF, kConnectionFailed},
        {&GameScene::clientConnection, 0x10000, nullptr},
        {&GameScene::objectManager, 0xFFFF, kManagerFailed},
        {&GameScene::objectManager, 0x10000, nullptr},
        {&GameScene::objectBase, 0xFFFF, kFirstFailed},
        {&GameScene::objectBase, 0x10000, nullptr},
        {nullptr, 0, kNotFound},
        {nullptr, 0xFFFF, kNotFound},
        {nullptr, 0x10000, nullptr},
    };
    for (std::size_t row = 0; row < std::size(cases); ++row) {
        SCOPED_TRACE(testing::Message() << "row " << row);
        const Case& c = cases[row];
        MemoryImage image;
        GameScene scene;
        if (c.pointer != nullptr) scene.*c.pointer = c.value;
        if (c.pointer == nullptr) scene.objectGuids = {0xF130000000000001};
        layOut(image, scene);
        if (c.pointer == nullptr) {
            image.putU32(scene.object(0) + kNextObject, c.value);
            putObject(image, c.value, scene.localGuid, 0);
        }
        const Lookup result = lookUp(image, scene);
        if (c.message != nullptr) {
            expectFailure(result, scene, c.message,
                          c.pointer == nullptr || c.pointer == &GameScene::objectBase);
        } else {
            expectFoundAt(result, scene, c.pointer == nullptr ? c.value : scene.object(1));
        }
    }
}

TEST_P(PlayerLookup, WalkEndsAtSelfLinksAndAfter8192Objects) {
    struct Case {
        const char* what;
        std::size_t others;     // objects before the player, if any
        bool player;            // last in the list
        bool loopsBack;         // the last object's next pointer leads to the first
        std::optional<std::size_t> hideNextOf;  // an object whose next pointer is unreadable
        const char* message;    // null: found
        std::size_t visits;
    };
    const Case cases[] = {
        {"player first, its next pointer unreadable", 0, true, false, 0, nullptr, 1},
        {"self-linked object", 1, false, true, {}, kNotFound, 1},
        {"loop of two without the player", 2, false, true, {}, kNotFound, 8192},
        {"player 8192nd", 8191, true, false, {}, nullptr, 8192},
        {"player 8193rd", 8192, true, false, {}, kNotFound, 8192},
        // That pointer is read before the limit ends the walk.
        {"next pointer of the 8192nd unreadable", 8192, true, false, 8191, kNextFailed, 8192},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryImage image;
        GameScene scene;
        scene.objectGuids = otherGuids(c.others);
        if (c.player) scene.objectGuids.push_back(scene.localGuid);
        layOut(image, scene);
        const std::size_t last = scene.objectGuids.size() - 1;
        if (c.loopsBack) image.putU32(scene.object(last) + kNextObject, scene.object(0));
        if (c.hideNextOf) image.makeUnreadable(scene.object(*c.hideNextOf) + kNextObject, 4);
        const Lookup result = lookUp(image, scene);
        if (c.message != nullptr) {
            expectFailure(result, scene, c.message, true);
        } else {
            expectFoundAt(result, scene, scene.object(last));
        }
        EXPECT_EQ(visits(image, scene, GetParam().reads), c.visits);
    }
}

TEST(PlayerLookupReads, ObjectsAreReadInOrder) {
    GameScene scene;
    scene.objectGuids = {0xF130000000000001, scene.localGuid};
    const std::uint64_t first = scene.object(0) + kObjectGuid;
    const std::uint64_t firstNext = scene.object(0) + kNextObject;
    const std::uint64_t second = scene.object(1) + kObjectGuid;
    const struct {
        ObjectReads reads;
        bool gapUnreadable;  // the 4 bytes between the first object's GUID and next pointer
        std::vector<MemoryImage::Access> objectReads;
    } cases[] = {
        // The player's next pointer is never read.
        {ObjectReads::Separate, false, {{first, 8}, {firstNext, 4}, {second, 8}}},
        {ObjectReads::Combined, false, {{first, 16}, {second, 16}}},
        // Only the 16-byte read touches the gap: the GUID and next pointer are
        // then read apart, and the next object whole again.
        {ObjectReads::Combined, true, {{first, 16}, {first, 8}, {firstNext, 4}, {second, 16}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.objectReads.size());
        MemoryImage image;
        layOut(image, scene);
        if (c.gapUnreadable) image.makeUnreadable(first + 8, 4);
        LocalPlayer player;
        std::string error;
        ASSERT_TRUE(findLocalPlayer(image, scene.moduleBase, player, error, c.reads)) << error;
        EXPECT_EQ(player.playerObject, scene.object(1));
        std::vector<MemoryImage::Access> expected{
            {scene.moduleField(kClientConnection), 4},
            {scene.clientConnection + kObjectManager, 4},
            {scene.managerField(kLocalPlayerGuid), 8},
            {scene.managerField(kFirstObject), 4},
        };
        expected.insert(expected.end(), c.objectReads.begin(), c.objectReads.end());
        EXPECT_EQ(image.reads(), expected);
    }
}

TEST(PlayerLookupReads, CombinedReadHalvesALongWalk) {
    for (const std::size_t objects : {std::size_t{1}, std::size_t{500}}) {
        GameScene scene;
        scene.objectGuids = otherGuids(objects - 1);
        scene.objectGuids.push_back(scene.localGuid);
        MemoryImage image;
        layOut(image, scene);
        LocalPlayer player;
        std::string error;
        ASSERT_TRUE(findLocalPlayer(image, scene.moduleBase, player, error, ObjectReads::Separate));
        EXPECT_EQ(image.readCount(), 4 + 2 * objects - 1);  // 5 with the player first
        image.clearReads();
        ASSERT_TRUE(findLocalPlayer(image, scene.moduleBase, player, error, ObjectReads::Combined));
        EXPECT_EQ(image.readCount(), 4 + objects);
    }
}

}  // namespace
}  // namespace corvane
