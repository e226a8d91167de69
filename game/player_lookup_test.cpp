#include "game/player_lookup.h"

#include "game/game_layout.h"
#include "game/memory_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

namespace corvane {
namespace {

using namespace layout;

const char* const kNotFound = "Local player object was not found in ObjectManager.";
const char* const kNextFailed = "ObjectManager traversal failed while reading next object pointer.";

// Outputs a failed lookup must leave alone (the manager until it is known).
constexpr LocalPlayer kUntouched{0xAAAAAAAAAAAAAAAA, 0xBBBBBBBBBBBBBBBB, 0xCCCCCCCCCCCCCCCC};

struct Lookup {
    bool found = false;
    LocalPlayer player = kUntouched;
    std::string error = "stale";
};

Lookup lookUp(MemoryImage& image, const GameScene& scene,
              ObjectReads reads = ObjectReads::Combined) {
    Lookup result;
    result.found = findLocalPlayer(image, scene.moduleBase, result.player, result.error, reads);
    return result;
}

std::size_t readsAt(const MemoryImage& image, std::vector<std::uint64_t> addresses) {
    return static_cast<std::size_t>(
        std::ranges::count_if(image.reads(), [&](const MemoryImage::Access& access) {
            return std::ranges::find(addresses, access.address) != addresses.end();
        }));
}

std::vector<std::uint64_t> otherGuids(std::size_t count) {
    std::vector<std::uint64_t> guids;
    for (std::size_t i = 0; i < count; ++i) guids.push_back(0xF130000000000001 + i);
    return guids;
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

TEST(PlayerLookup, FindsThePlayerInsideTheList) {
    // Also with the player at 0xFFFFFFF0, whose GUID lies past 4 GiB.
    GameScene top;
    top.objectBase = 0xFFFFF000;
    top.objectStride = 0xFF0;
    top.objectGuids.pop_back();
    for (const GameScene& scene : {GameScene{}, top}) {
        for (const ObjectReads reads : {ObjectReads::Combined, ObjectReads::Separate}) {
            SCOPED_TRACE(scene.object(1));
            MemoryImage image;
            layOut(image, scene);
            expectFoundAt(lookUp(image, scene, reads), scene, scene.object(1));
        }
    }
}

// Where each step of the lookup reads.
std::uint64_t connectionSlot(const GameScene& s) { return s.moduleField(kClientConnection); }
std::uint64_t managerSlot(const GameScene& s) { return s.clientConnection + kObjectManager; }
std::uint64_t localGuidSlot(const GameScene& s) { return s.managerField(kLocalPlayerGuid); }
std::uint64_t firstObjectSlot(const GameScene& s) { return s.managerField(kFirstObject); }
std::uint64_t objectGuidSlot(const GameScene& s) { return s.object(0) + kObjectGuid; }
std::uint64_t nextObjectSlot(const GameScene& s) { return s.object(0) + kNextObject; }

TEST(PlayerLookup, StopsAtTheFirstBrokenStep) {
    enum class Harm { Unreadable, ShortRead, Zero };
    struct Case {
        std::uint64_t (*slot)(const GameScene&);
        std::size_t size;
        Harm harm;
        const char* message;
        bool managerKnown;
    };
    const char* const connection = "Could not read the 3.3.5a ClientConnection pointer.";
    const char* const manager = "Could not read ObjectManager.";
    const char* const guid = "Local player GUID is unavailable.";
    const char* const first = "Could not read the first ObjectManager object.";
    const char* const objectGuid = "ObjectManager traversal failed while reading an object GUID.";
    const Case cases[] = {
        {connectionSlot, 4, Harm::Unreadable, connection, false},
        {connectionSlot, 4, Harm::ShortRead, connection, false},
        {connectionSlot, 4, Harm::Zero, connection, false},
        {managerSlot, 4, Harm::Unreadable, manager, false},
        {managerSlot, 4, Harm::Zero, manager, false},
        {localGuidSlot, 8, Harm::ShortRead, guid, true},
        {localGuidSlot, 8, Harm::Zero, guid, true},
        {firstObjectSlot, 4, Harm::Unreadable, first, true},
        {firstObjectSlot, 4, Harm::Zero, first, true},
        {objectGuidSlot, 8, Harm::ShortRead, objectGuid, true},
        {nextObjectSlot, 4, Harm::Unreadable, kNextFailed, true},
        {nextObjectSlot, 4, Harm::ShortRead, kNextFailed, true},
    };
    for (std::size_t row = 0; row < std::size(cases); ++row) {
        SCOPED_TRACE(testing::Message() << "row " << row);
        const Case& c = cases[row];
        MemoryImage image;
        const GameScene scene;
        layOut(image, scene);
        const std::uint64_t slot = c.slot(scene);
        const std::uint64_t zero = 0;
        switch (c.harm) {
        case Harm::Unreadable:
            image.makeUnreadable(slot, c.size);
            break;
        case Harm::ShortRead:
            image.makeUnreadable(slot + c.size - 1, 1);
            break;
        case Harm::Zero:
            image.putBytes(slot, &zero, c.size);
            break;
        }
        expectFailure(lookUp(image, scene), scene, c.message, c.managerKnown);
        // Nothing is read after the failed step.
        ASSERT_FALSE(image.reads().empty());
        EXPECT_EQ(image.reads().back().address, slot);
    }
}

TEST(PlayerLookup, PointersStartAt0x10000) {
    // The whole scene sits behind the pointer, so following a rejected one would succeed.
    struct Case {
        const char* what;
        std::uint32_t GameScene::*pointer;
        std::uint32_t value;
        const char* message;  // null: found
    };
    const Case cases[] = {
        {"connection", &GameScene::clientConnection, 0xFFFF,
         "Could not read the 3.3.5a ClientConnection pointer."},
        {"connection", &GameScene::clientConnection, 0x10000, nullptr},
        {"manager", &GameScene::objectManager, 0xFFFF, "Could not read ObjectManager."},
        {"manager", &GameScene::objectManager, 0x10000, nullptr},
        {"first object", &GameScene::objectBase, 0xFFFF,
         "Could not read the first ObjectManager object."},
        {"first object", &GameScene::objectBase, 0x10000, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + " at " + std::to_string(c.value));
        MemoryImage image;
        GameScene scene;
        scene.*c.pointer = c.value;
        layOut(image, scene);
        const Lookup result = lookUp(image, scene);
        if (c.message == nullptr) {
            expectFoundAt(result, scene, scene.object(1));
        } else {
            expectFailure(result, scene, c.message, c.pointer == &GameScene::objectBase);
        }
    }
}

TEST(PlayerLookup, PlayerFirstNeedsNoNextPointer) {
    GameScene scene;
    scene.objectGuids = {scene.localGuid, 0xF130000000000001};
    const std::uint64_t player = scene.object(0);
    {
        // One value per read: the player's GUID is the last.
        MemoryImage image;
        layOut(image, scene);
        expectFoundAt(lookUp(image, scene, ObjectReads::Separate), scene, player);
        const std::vector<MemoryImage::Access> expected{
            {scene.moduleField(kClientConnection), 4},
            {scene.clientConnection + kObjectManager, 4},
            {scene.managerField(kLocalPlayerGuid), 8},
            {scene.managerField(kFirstObject), 4},
            {player + kObjectGuid, 8},
        };
        EXPECT_EQ(image.reads(), expected);
    }
    MemoryImage image;
    layOut(image, scene);
    image.makeUnreadable(player + kNextObject, 4);
    expectFoundAt(lookUp(image, scene), scene, player);
    EXPECT_EQ(std::ranges::count(image.reads(), MemoryImage::Access{player + kNextObject, 4}), 0);
}

TEST(PlayerLookup, NextPointerBelow0x10000EndsTheList) {
    // A player object waits behind every next pointer tried.
    const struct {
        std::uint32_t next;
        bool followed;
    } cases[] = {{0, false}, {0xFFFF, false}, {0x10000, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.next);
        MemoryImage image;
        GameScene scene;
        scene.objectGuids = {0xF130000000000001};
        layOut(image, scene);
        image.putU32(scene.object(0) + kNextObject, c.next);
        putObject(image, c.next, scene.localGuid, 0);
        const Lookup result = lookUp(image, scene);
        if (c.followed) {
            expectFoundAt(result, scene, c.next);
        } else {
            expectFailure(result, scene, kNotFound, true);
        }
    }
}

TEST(PlayerLookup, SelfLinkedObjectEndsTheList) {
    MemoryImage image;
    GameScene scene;
    scene.objectGuids = {0xF130000000000001};
    layOut(image, scene);
    image.putU32(scene.object(0) + kNextObject, scene.object(0));
    expectFailure(lookUp(image, scene), scene, kNotFound, true);
    EXPECT_EQ(readsAt(image, {scene.object(0) + kObjectGuid}), 1u);
}

TEST(PlayerLookup, LoopWithoutThePlayerIsWalkedFor8192Objects) {
    MemoryImage image;
    GameScene scene;
    scene.objectGuids = otherGuids(2);
    layOut(image, scene);
    image.putU32(scene.object(1) + kNextObject, scene.object(0));
    expectFailure(lookUp(image, scene), scene, kNotFound, true);
    EXPECT_EQ(readsAt(image, {scene.object(0) + kObjectGuid, scene.object(1) + kObjectGuid}),
              8192u);
}

TEST(PlayerLookup, WalkComparesAtMost8192Objects) {
    struct Case {
        const char* what;
        std::size_t objects;  // the player is the last
        bool hideNextOf8192nd;
        const char* message;  // null: found
    };
    const Case cases[] = {
        {"player 8192nd", 8192, false, nullptr},
        {"player 8193rd", 8193, false, kNotFound},
        {"8192nd next pointer unreadable", 8193, true, kNextFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryImage image;
        GameScene scene;
        scene.objectGuids = otherGuids(c.objects - 1);
        scene.objectGuids.push_back(scene.localGuid);
        layOut(image, scene);
        if (c.hideNextOf8192nd) image.makeUnreadable(scene.object(8191) + kNextObject, 4);
        const Lookup result = lookUp(image, scene);
        if (c.message == nullptr) {
            expectFoundAt(result, scene, scene.object(8191));
        } else {
            expectFailure(result, scene, c.message, true);
            EXPECT_EQ(readsAt(image, {scene.object(8192) + kObjectGuid}), 0u);
        }
    }
}

TEST(PlayerLookup, GuidsMatchInAll64Bits) {
    MemoryImage image;
    GameScene scene;
    scene.localGuid = 0x0000000100000007;
    scene.objectGuids = {0x0000000000000007, 0x0000000200000007, 0xFFFFFFFF00000007,
                         scene.localGuid};
    layOut(image, scene);
    expectFoundAt(lookUp(image, scene), scene, scene.object(3));
}

}  // namespace
}  // namespace corvane
