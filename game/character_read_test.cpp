#include "game/character_read.h"

#include "tests/support/game_scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <string>

namespace corvane {
namespace {

using namespace wow;
using enum ReadStatus;
using S = GameScene;
using M = MemoryImage;

// The default scene's module, ObjectManager and player object (the second).
constexpr std::uint64_t kBase = 0x400000, kMgr = 0x1300000, kPlayer = 0x10000800;
constexpr std::int64_t kMs = 1'000'000;
const char* const kNoFloat = "Found the local player but could not read X/Y/Z/orientation.";
const char* const kNoMap = "Could not read a plausible map ID.";
const char* const kInvalid = "Position data failed validation.";
const char* const kNotFound = "Local player object was not found in ObjectManager.";

struct Reading {
    ReadStatus status = InWorld;
    CharacterSnapshot snapshot{1, 2, 3, 4, 5, 6, 7, 8, 9};  // leftovers every outcome replaces
    std::string error = "stale";
    friend bool operator==(const Reading&, const Reading&) = default;
};
Reading walk(M& m) {
    Reading r;
    r.status = readCharacterState(m, kBase, r.snapshot, r.error);
    return r;
}
Reading cycle(M& m, KeptPlayer& kept, std::int64_t now) {
    Reading r;
    r.status = readCharacterState(m, kBase, r.snapshot, r.error, kept, now);
    return r;
}
bool walked(const M& m) {  // the walk alone reads the first-object pointer
    return std::ranges::count(m.reads(), MemoryImage::Access{kMgr + 0xAC, 4}) > 0;
}
const CharacterSnapshot kFull{-8949.95f, -132.49f, 83.53f, 0.61f, 0x12A4, 571, 1, kPlayer, kMgr};
CharacterSnapshot only(std::uint8_t state) { return CharacterSnapshot{.connectionState = state}; }

TEST(CharacterRead, StatusMessageAndSnapshotOfEachOutcome) {
    const struct { const char* what; void (*edit)(S&, M&); ReadStatus status; const char* message; CharacterSnapshot snapshot; } rows[] = {
        {"in the world", [](S&, M&) {}, InWorld, "", kFull},
        {"y, x, z, facing apart", [](S& s, M& m) { s.x = 1; s.y = 2; s.z = 3; s.orientation = 4; layOut(m, s); }, InWorld, "", {1, 2, 3, 4, 0x12A4, 571, 1, kPlayer, kMgr}},
        {"gap unreadable: four reads", [](S&, M& m) { m.makeUnreadable(kPlayer + 0x7A4, 4); }, InWorld, "", kFull},
        {"map 2000", [](S&, M& m) { m.putU32(kMgr + 0xCC, 2000); }, InWorld, "", {-8949.95f, -132.49f, 83.53f, 0.61f, 0x12A4, 2000, 1, kPlayer, kMgr}},
        {"past 4 GiB", [](S& s, M& m) { s.objectBase = 0xFFFFF000; s.objectStride = 0xFF0; layOut(m, s); }, InWorld, "", {-8949.95f, -132.49f, 83.53f, 0.61f, 0x12A4, 571, 1, 0xFFFFFFF0, kMgr}},
        {"state unreadable", [](S&, M& m) { m.makeUnreadable(kBase + 0x7D0792, 1); }, ReadError, "Could not read g_ClientConnectionState.", only(0)},
        {"state 0", [](S&, M& m) { m.putU8(kBase + 0x7D0792, 0); }, NotInWorld, "", only(0)},
        {"state 255", [](S&, M& m) { m.putU8(kBase + 0x7D0792, 255); }, NotInWorld, "", only(255)},
        {"no local GUID", [](S&, M& m) { m.putU64(kMgr + 0xC0, 0); }, NotInWorld, "Local player GUID is unavailable.", only(1)},
        {"x unreadable", [](S&, M& m) { m.makeUnreadable(kPlayer + 0x79C, 4); }, ReadError, kNoFloat, only(1)},
        {"y unreadable", [](S&, M& m) { m.makeUnreadable(kPlayer + 0x798, 4); }, ReadError, kNoFloat, only(1)},
        {"z unreadable", [](S&, M& m) { m.makeUnreadable(kPlayer + 0x7A0, 4); }, ReadError, kNoFloat, only(1)},
        {"facing unreadable", [](S&, M& m) { m.makeUnreadable(kPlayer + 0x7A8, 4); }, ReadError, kNoFloat, only(1)},
        {"map unreadable", [](S&, M& m) { m.makeUnreadable(kMgr + 0xCC, 4); }, ReadError, kNoMap, only(1)},
        {"map 2001", [](S&, M& m) { m.putU32(kMgr + 0xCC, 2001); }, ReadError, kNoMap, only(1)},
        {"map 0xFFFFFFFF", [](S&, M& m) { m.putU32(kMgr + 0xCC, 0xFFFFFFFF); }, ReadError, kNoMap, only(1)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        S scene;
        M image;
        layOut(image, scene);
        row.edit(scene, image);
        EXPECT_EQ(walk(image), (Reading{row.status, row.snapshot, row.message}));
    }
}

TEST(CharacterRead, ValidatesThePositionBeforeTheMap) {
    using L = std::numeric_limits<float>;
    const std::uint32_t negativeNan = 0xFFC00000, signallingNan = 0x7F800001;
    const struct { float value; bool coordinate; bool facing; } values[] = {
        {0.0f, true, true}, {L::denorm_min(), true, true}, {99999.99f, true, true}, {-99999.99f, true, true},
        {100000.0f, false, true}, {-100000.0f, false, true}, {1.0e30f, false, true},
        {L::infinity(), false, false}, {-L::infinity(), false, false}, {L::quiet_NaN(), false, false},
        {std::bit_cast<float>(negativeNan), false, false}, {std::bit_cast<float>(signallingNan), false, false},
    };
    const struct { std::uint64_t offset; float CharacterSnapshot::*field; } fields[] = {
        {0x79C, &CharacterSnapshot::x}, {0x798, &CharacterSnapshot::y},
        {0x7A0, &CharacterSnapshot::z}, {0x7A8, &CharacterSnapshot::orientation},
    };
    for (const auto& f : fields) {
        for (const auto& v : values) {
            SCOPED_TRACE(testing::Message() << f.offset << ' ' << v.value);
            M image;
            layOut(image, S{});
            image.putFloat(kPlayer + f.offset, v.value);
            const bool accepted = f.offset == 0x7A8 ? v.facing : v.coordinate;
            if (!accepted) image.makeUnreadable(kMgr + 0xCC, 4);  // must not be read
            const Reading r = walk(image);
            EXPECT_EQ(r.status, accepted ? InWorld : ReadError);
            EXPECT_EQ(r.error, accepted ? "" : kInvalid);
            const float expected = accepted ? v.value : 0.0f;  // a rejected read leaves only the state
            EXPECT_EQ(std::bit_cast<std::uint32_t>(r.snapshot.*f.field), std::bit_cast<std::uint32_t>(expected));
            EXPECT_EQ(r.snapshot.connectionState, 1);
            EXPECT_EQ(r.snapshot.guid, accepted ? 0x12A4u : 0u);
        }
    }
}

TEST(KeptPlayer, ConfirmedInSevenReadsWhateverTheListLength) {
    for (const std::size_t objects : {1, 500, 8192}) {
        SCOPED_TRACE(objects);
        S scene;
        scene.objectGuids = crowdThenPlayer(objects - 1, scene.localGuid);
        M image;
        layOut(image, scene);
        KeptPlayer kept;
        const Reading first = cycle(image, kept, 0);
        ASSERT_EQ(first.status, InWorld);
        image.clearReads();
        EXPECT_EQ(cycle(image, kept, 999 * kMs), first);
        EXPECT_EQ(image.readCount(), 7u);
    }
}

TEST(KeptPlayer, FullWalkAtLeastOnceASecondReplacesIt) {
    S scene;
    M image;
    layOut(image, scene);
    KeptPlayer kept;
    std::int64_t lastWalk = 0;
    int walks = 0;
    for (std::int64_t now = 0; now <= 3000 * kMs; now += 20 * kMs) {
        if (now == 500 * kMs) {  // a new list; the old player object keeps its GUID
            scene.objectBase = 0x20000000;
            layOut(image, scene);
        }
        image.clearReads();
        const Reading r = cycle(image, kept, now);
        ASSERT_EQ(r.status, InWorld);
        if (walked(image)) {
            lastWalk = now;
            ++walks;
        }
        EXPECT_LE(now - lastWalk, 1000 * kMs);
        if (now >= 1000 * kMs) { EXPECT_EQ(r.snapshot.playerObject, 0x20000800u); }
    }
    EXPECT_LE(walks, 4);
}

TEST(KeptPlayer, AnyDifferenceWalksInTheSameCycle) {
    const struct { const char* what; void (*edit)(S&, M&); } rows[] = {
        {"manager changed", [](S& s, M& m) { s.objectManager = 0x1400000; s.mapId = 1; layOut(m, s); }},
        {"local GUID changed", [](S&, M& m) { m.putU64(kMgr + 0xC0, 0xF130000000000101); }},
        {"object's GUID changed", [](S&, M& m) { m.putU64(kPlayer + 0x30, 0xF130000000000103); }},
        {"object's GUID unreadable", [](S&, M& m) { m.makeUnreadable(kPlayer + 0x30, 8); }},
        {"connection unreadable", [](S&, M& m) { m.makeUnreadable(kBase + 0x879CE0, 4); }},
        {"floats unreadable", [](S&, M& m) { m.makeUnreadable(kPlayer + 0x798, 20); }},
        {"state unreadable", [](S&, M& m) { m.makeUnreadable(kBase + 0x7D0792, 1); }},
        {"not in the world", [](S&, M& m) { m.putU8(kBase + 0x7D0792, 0); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        S scene;
        M image;
        layOut(image, scene);
        KeptPlayer kept;
        ASSERT_EQ(cycle(image, kept, 0).status, InWorld);
        row.edit(scene, image);
        const Reading r = cycle(image, kept, 20 * kMs);
        EXPECT_EQ(r, walk(image));
        EXPECT_NE(r.snapshot, kFull);  // what the kept object would have given
        EXPECT_EQ(kept.player.playerObject, r.status == InWorld ? r.snapshot.playerObject : 0);
    }
}

}  // namespace
}  // namespace corvane
