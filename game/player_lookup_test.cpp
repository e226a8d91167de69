#include "game/player_lookup.h"

#include "tests/support/game_scene.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace corvane {
namespace {

using namespace wow;

constexpr std::uint64_t kUntouched = 0xCCCCCCCCCCCCCCCC;

const char* const kNoConnection = "Could not read the 3.3.5a ClientConnection pointer.";
const char* const kNoManager = "Could not read ObjectManager.";
const char* const kNoNext = "ObjectManager traversal failed while reading next object pointer.";
const char* const kNotFound = "Local player object was not found in ObjectManager.";


TEST(PlayerLookup, WalksToThePlayerWithinItsLimits) {
    // Each edit runs on the laid-out default scene, and may lay out a changed one.
    // A value made unreadable loses only its last byte, which a narrower read would miss.
    const struct { const char* what; void (*edit)(S&, M&); std::uint64_t found; const char* message; std::size_t reads = 0; WalkEnd end = WalkEnd::Failed; } rows[] = {
        {"player second", [](S&, M&) {}, obj(1), nullptr},
        {"connection unreadable", [](S&, M& m) { m.makeUnreadable(kBase + 0x879CE0 + 3, 1); }, 0, kNoConnection},
        {"connection 0xFFFF", [](S& s, M& m) { s.clientConnection = 0xFFFF; layOut(m, s); }, 0, kNoConnection},
        {"connection 0x10000", [](S& s, M& m) { s.clientConnection = 0x10000; layOut(m, s); }, obj(1), nullptr},
        {"manager unreadable", [](S&, M& m) { m.makeUnreadable(kConn + 0x2ED0 + 3, 1); }, 0, kNoManager},
        {"manager 0xFFFF", [](S& s, M& m) { s.objectManager = 0xFFFF; layOut(m, s); }, 0, kNoManager},
        {"manager 0x10000", [](S& s, M& m) { s.objectManager = 0x10000; layOut(m, s); }, obj(1), nullptr},
        {"local GUID unreadable", [](S&, M& m) { m.makeUnreadable(kMgr + 0xC0 + 7, 1); }, 0, "Local player GUID is unavailable."},
        {"local GUID 0", [](S&, M& m) { m.putU64(kMgr + 0xC0, 0); }, 0, "Local player GUID is unavailable."},
        {"first unreadable", [](S&, M& m) { m.makeUnreadable(kMgr + 0xAC + 3, 1); }, 0, "Could not read the first ObjectManager object."},
        {"first 0xFFFF", [](S& s, M& m) { s.objectBase = 0xFFFF; layOut(m, s); }, 0, "Could not read the first ObjectManager object."},
        {"first 0x10000", [](S& s, M& m) { s.objectBase = 0x10000; layOut(m, s); }, 0x10800, nullptr},
        {"GUID unreadable", [](S&, M& m) { m.makeUnreadable(obj(0) + 0x30 + 7, 1); }, 0, "ObjectManager traversal failed while reading an object GUID."},
        {"next unreadable", [](S&, M& m) { m.makeUnreadable(obj(0) + 0x3C + 3, 1); }, 0, kNoNext},
        {"next 0", [](S&, M& m) { m.putU32(obj(0) + 0x3C, 0); }, 0, kNotFound, 0, WalkEnd::ListEnd},
        // The player sits behind each rejected pointer, so following one would find it.
        {"next 0xFFFF", [](S& s, M& m) { m.putU32(obj(0) + 0x3C, 0xFFFF); m.putU64(0xFFFF + 0x30, s.localGuid); }, 0, kNotFound, 0, WalkEnd::ListEnd},
        {"next 0x10000", [](S& s, M& m) { m.putU32(obj(0) + 0x3C, 0x10000); m.putU64(0x10000 + 0x30, s.localGuid); }, 0x10000, nullptr},
        {"self-linked", [](S&, M& m) { m.putU32(obj(0) + 0x3C, obj(0)); }, 0, kNotFound, 4 + 1, WalkEnd::ListEnd},
        // A loop is noticed by the addresses walked, long before the bound.
        {"loop of two", [](S&, M& m) { m.putU64(obj(1) + 0x30, 7); m.putU32(obj(1) + 0x3C, obj(0)); }, 0, kNotFound, 4 + 3, WalkEnd::Loop},
        {"loop of 4096 back to the first", [](S& s, M& m) { layOutCrowd(m, s, 4096); m.putU32(obj(4095) + 0x3C, obj(0)); }, 0, kNotFound, 0, WalkEnd::Loop},
        {"loop of 4000 behind 96", [](S& s, M& m) { layOutCrowd(m, s, 4096); m.putU32(obj(4095) + 0x3C, obj(96)); }, 0, kNotFound, 0, WalkEnd::Loop},
        {"player 8192nd", [](S& s, M& m) { layOutCrowd(m, s, 8191); }, obj(8191), nullptr},
        {"player 8193rd", [](S& s, M& m) { layOutCrowd(m, s, 8192); }, 0, kNotFound, 0, WalkEnd::Bound},
        {"8192 objects, the last ending the list", [](S& s, M& m) { layOutCrowd(m, s, 8191); m.putU64(obj(8191) + 0x30, 7); }, 0, kNotFound, 0, WalkEnd::ListEnd},
        // That pointer is read before the limit ends the walk.
        {"next of the 8192nd unreadable", [](S& s, M& m) { layOutCrowd(m, s, 8192); m.makeUnreadable(obj(8191) + 0x3C + 3, 1); }, 0, kNoNext},
        // Decided on the GUID: the player's next pointer is not needed.
        {"player first, next unreadable", [](S& s, M& m) { layOutCrowd(m, s, 0); m.makeUnreadable(obj(0) + 0x3C + 3, 1); }, obj(0), nullptr},
        {"gap between GUID and next unreadable", [](S&, M& m) { m.makeUnreadable(obj(0) + 0x38, 4); }, obj(1), nullptr},
        {"GUIDs differ in the upper half only", [](S& s, M& m) { s.localGuid = 0x100000007; s.objectGuids = {7, s.localGuid}; layOut(m, s); }, obj(1), nullptr},
        {"player's GUID past 4 GiB", [](S& s, M& m) { s.objectBase = 0xFFFFF000; s.objectStride = 0xFF0; layOut(m, s); }, 0xFFFFFFF0, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        S scene;
        M image = laidOut(scene, row.edit);
        LocalPlayer player{kUntouched, kUntouched, kUntouched};
        std::string error = "stale";
        WalkEnd end{};
        EXPECT_EQ(findLocalPlayer(image, kBase, player, error, &end), row.message == nullptr);
        EXPECT_EQ(end, row.message == nullptr ? WalkEnd::Found : row.message == kNotFound ? row.end : WalkEnd::Failed);
        EXPECT_EQ(error, row.message == nullptr ? "stale" : row.message);  // success leaves it
        EXPECT_EQ(player.playerObject, row.message == nullptr ? row.found : kUntouched);
        EXPECT_EQ(player.guid, row.message == nullptr ? scene.localGuid : kUntouched);
        if (row.reads != 0) { EXPECT_EQ(image.readCount(), row.reads); }  // one read an object
        EXPECT_EQ(player.objectManager, row.message != kNoConnection && row.message != kNoManager ? scene.objectManager : kUntouched);
    }
}

}  // namespace
}  // namespace corvane
