// The walk reads an object's GUID and next pointer in one 16-byte read. These
// tests hold it to the outcomes of the two separate reads, image by image.

#include "game/player_lookup.h"

#include "game/game_layout.h"
#include "game/memory_image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace corvane {
namespace {

using namespace layout;

const std::string kNotFound = "Local player object was not found in ObjectManager.";
const std::string kGuidFailed = "ObjectManager traversal failed while reading an object GUID.";
const std::string kNextFailed =
    "ObjectManager traversal failed while reading next object pointer.";

// In the game the four bytes between the GUID and the next pointer are as
// readable as the object around them; an image has to be told so.
void fillGaps(MemoryImage& image, const GameScene& scene) {
    for (std::size_t i = 0; i < scene.objectGuids.size(); ++i) {
        image.putU32(scene.object(i) + kObjectGuid + 8, 0);
    }
}

std::vector<std::uint64_t> otherGuids(std::size_t count) {
    std::vector<std::uint64_t> guids;
    for (std::size_t i = 0; i < count; ++i) guids.push_back(0xF130000000000001 + i);
    return guids;
}

struct Outcome {
    bool found = false;
    std::string error = "untouched";
    LocalPlayer player{0xAAAA, 0xBBBB, 0xCCCC};  // shows which outputs were written
    std::vector<std::uint64_t> visited;          // objects whose GUID was asked for, in order
};

Outcome walk(MemoryImage& image, const GameScene& scene, ObjectReads reads) {
    Outcome outcome;
    image.clearReads();
    outcome.found = findLocalPlayer(image, scene.moduleBase, outcome.player, outcome.error, reads);
    for (const MemoryImage::Access& access : image.reads()) {
        const bool objectGuid = (access.size == 8 || access.size == 16) &&
                                access.address != scene.managerField(kLocalPlayerGuid);
        if (!objectGuid) continue;
        const std::uint64_t object = access.address - kObjectGuid;
        // A combined read that failed is followed by the GUID's own read.
        if (outcome.visited.empty() || outcome.visited.back() != object) {
            outcome.visited.push_back(object);
        }
    }
    return outcome;
}

struct Shape {
    const char* name;
    std::function<void(GameScene&)> scene;                         // before layout
    std::function<void(MemoryImage&, const GameScene&)> damage;    // after layout
    std::string error;                                             // empty: found
};

std::vector<Shape> shapes() {
    const auto none = [](MemoryImage&, const GameScene&) {};
    const auto keep = [](GameScene&) {};
    return {
        {"player inside the list", keep, none, ""},
        {"player first", [](GameScene& s) { s.objectGuids = {s.localGuid, 0xF1}; }, none, ""},
        {"player first, its next pointer unreadable",
         [](GameScene& s) { s.objectGuids = {s.localGuid, 0xF1}; },
         [](MemoryImage& m, const GameScene& s) { m.makeUnreadable(s.object(0) + kNextObject, 4); },
         ""},
        {"player last of 500",
         [](GameScene& s) {
             s.objectGuids = otherGuids(499);
             s.objectGuids.push_back(s.localGuid);
         },
         none, ""},
        {"empty list", [](GameScene& s) { s.objectGuids.clear(); }, none,
         "Could not read the first ObjectManager object."},
        {"local GUID zero", [](GameScene& s) { s.localGuid = 0; }, none,
         "Local player GUID is unavailable."},
        {"manager unreadable", keep,
         [](MemoryImage& m, const GameScene& s) {
             m.makeUnreadable(s.clientConnection + kObjectManager, 4);
         },
         "Could not read ObjectManager."},
        {"next pointer 0xFFFF", [](GameScene& s) { s.objectGuids = {0xF1}; },
         [](MemoryImage& m, const GameScene& s) {
             m.putU32(s.object(0) + kNextObject, 0xFFFF);
             putObject(m, 0xFFFF, s.localGuid, 0);
         },
         kNotFound},
        {"next pointer 0x10000", [](GameScene& s) { s.objectGuids = {0xF1}; },
         [](MemoryImage& m, const GameScene& s) {
             m.putU32(s.object(0) + kNextObject, 0x10000);
             putObject(m, 0x10000, s.localGuid, 0);
             m.putU32(0x10000 + kObjectGuid + 8, 0);
         },
         ""},
        {"self-linked object", [](GameScene& s) { s.objectGuids = {0xF1}; },
         [](MemoryImage& m, const GameScene& s) {
             m.putU32(s.object(0) + kNextObject, s.object(0));
         },
         kNotFound},
        {"loop of two without the player", [](GameScene& s) { s.objectGuids = otherGuids(2); },
         [](MemoryImage& m, const GameScene& s) {
             m.putU32(s.object(1) + kNextObject, s.object(0));
         },
         kNotFound},
        {"player 8192nd",
         [](GameScene& s) {
             s.objectGuids = otherGuids(8191);
             s.objectGuids.push_back(s.localGuid);
         },
         none, ""},
        {"player 8193rd",
         [](GameScene& s) {
             s.objectGuids = otherGuids(8192);
             s.objectGuids.push_back(s.localGuid);
         },
         none, kNotFound},
        {"next pointer of the 8192nd unreadable",
         [](GameScene& s) {
             s.objectGuids = otherGuids(8192);
             s.objectGuids.push_back(s.localGuid);
         },
         [](MemoryImage& m, const GameScene& s) {
             m.makeUnreadable(s.object(8191) + kNextObject, 4);
         },
         kNextFailed},
        {"GUIDs differing in the upper half",
         [](GameScene& s) {
             s.localGuid = 0x0000000100000007;
             s.objectGuids = {0x0000000000000007, 0xFFFFFFFF00000007, s.localGuid};
         },
         none, ""},
        {"object GUID short read", keep,
         [](MemoryImage& m, const GameScene& s) {
             m.makeUnreadable(s.object(0) + kObjectGuid + 7, 1);
         },
         kGuidFailed},
        {"next pointer short read", keep,
         [](MemoryImage& m, const GameScene& s) {
             m.makeUnreadable(s.object(0) + kNextObject + 3, 1);
         },
         kNextFailed},
        {"player's GUID unreadable, its next pointer fine", keep,
         [](MemoryImage& m, const GameScene& s) {
             m.makeUnreadable(s.object(1) + kObjectGuid, 8);
         },
         kGuidFailed},
        {"next pointer before a GUID, both unreadable", keep,
         [](MemoryImage& m, const GameScene& s) {
             m.makeUnreadable(s.object(0) + kNextObject, 4);
             m.makeUnreadable(s.object(1) + kObjectGuid, 8);
         },
         kNextFailed},
        {"GUID and next pointer of one object unreadable", keep,
         [](MemoryImage& m, const GameScene& s) {
             m.makeUnreadable(s.object(0) + kObjectGuid, 16);
         },
         kGuidFailed},
        {"only the bytes between unreadable, on every object", keep,
         [](MemoryImage& m, const GameScene& s) {
             for (std::size_t i = 0; i < s.objectGuids.size(); ++i) {
                 m.makeUnreadable(s.object(i) + kObjectGuid + 8, 4);
             }
         },
         ""},
    };
}

TEST(PlayerLookupCombined, EveryOutcomeMatchesTheSeparateReads) {
    for (const Shape& shape : shapes()) {
        SCOPED_TRACE(shape.name);
        GameScene scene;
        shape.scene(scene);
        MemoryImage image;
        layOut(image, scene);
        fillGaps(image, scene);
        shape.damage(image, scene);

        const Outcome separate = walk(image, scene, ObjectReads::Separate);
        const Outcome combined = walk(image, scene, ObjectReads::Combined);
        EXPECT_EQ(combined.found, separate.found);
        EXPECT_EQ(combined.error, separate.error);
        EXPECT_EQ(combined.player.playerObject, separate.player.playerObject);
        EXPECT_EQ(combined.player.guid, separate.player.guid);
        EXPECT_EQ(combined.player.objectManager, separate.player.objectManager);
        EXPECT_EQ(combined.visited, separate.visited);

        EXPECT_EQ(separate.found, shape.error.empty());
        if (!shape.error.empty()) {
            EXPECT_EQ(separate.error, shape.error);
        }
    }
}

TEST(PlayerLookupCombined, HalvesTheReadsOfAWalk) {
    for (const std::size_t objects : {std::size_t{1}, std::size_t{2}, std::size_t{500}}) {
        SCOPED_TRACE(objects);
        GameScene scene;
        scene.objectGuids = otherGuids(objects - 1);
        scene.objectGuids.push_back(scene.localGuid);
        MemoryImage image;
        layOut(image, scene);
        fillGaps(image, scene);
        LocalPlayer player;
        std::string error;

        image.clearReads();
        ASSERT_TRUE(findLocalPlayer(image, scene.moduleBase, player, error, ObjectReads::Separate));
        EXPECT_EQ(image.readCount(), 4 + 2 * objects - 1);  // the player's next is never read

        image.clearReads();
        ASSERT_TRUE(findLocalPlayer(image, scene.moduleBase, player, error));
        EXPECT_EQ(image.readCount(), 4 + objects);
    }
}

TEST(PlayerLookupCombined, FallsBackToTheSeparateReadsInOrder) {
    GameScene scene;
    scene.objectGuids = {0xF1, scene.localGuid};
    MemoryImage image;
    layOut(image, scene);
    fillGaps(image, scene);
    // Only the 16-byte read touches these bytes.
    image.makeUnreadable(scene.object(0) + kObjectGuid + 8, 4);
    LocalPlayer player;
    std::string error;
    image.clearReads();

    ASSERT_TRUE(findLocalPlayer(image, scene.moduleBase, player, error)) << error;
    EXPECT_EQ(player.playerObject, scene.object(1));
    const std::uint64_t first = scene.object(0);
    const std::uint64_t second = scene.object(1);
    const std::vector<MemoryImage::Access> expected{
        {scene.moduleField(kClientConnection), 4},
        {scene.clientConnection + kObjectManager, 4},
        {scene.managerField(kLocalPlayerGuid), 8},
        {scene.managerField(kFirstObject), 4},
        {first + kObjectGuid, 16},   // fails on the gap
        {first + kObjectGuid, 8},    // then the GUID alone
        {first + kNextObject, 4},    // then the next pointer alone
        {second + kObjectGuid, 16},  // the next object is read whole again
    };
    EXPECT_EQ(image.reads(), expected);
}

}  // namespace
}  // namespace corvane
