#include "game/character_read.h"

#include "tests/support/game_scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>

namespace corvane {
namespace {

using namespace wow;
using enum ReadStatus;

constexpr std::uint64_t kPlayer = obj(1);
constexpr std::int64_t kMs = 1'000'000;
const char* const kNoFloat = "Found the local player but could not read X/Y/Z/orientation.";
const char* const kNoMap = "Could not read a plausible map ID.";
const char* const kInvalid = "Position data failed validation.";

const CharacterSnapshot kFull{-8949.95f, -132.49f, 83.53f, 0.61f, 0x12A4, 571, 1, kPlayer, kMgr};
const CharacterSnapshot kMoved{-8949.95f, -132.49f, 83.53f, 0.61f, 0x12A4, 571, 1, obj(3), kMgr};
const char* const kNoPlayer = "Local player object was not found in ObjectManager.";
CharacterSnapshot only(std::uint8_t state) { return CharacterSnapshot{.connectionState = state}; }

TEST(CharacterRead, StatusMessageAndSnapshotOfEachOutcome) {
    const struct { const char* what; void (*edit)(S&, M&); ReadStatus status; const char* message; CharacterSnapshot snapshot; } rows[] = {
        {"in the world", [](S&, M&) {}, InWorld, "", kFull},
        {"gap unreadable: four reads", [](S&, M& m) { m.makeUnreadable(kPlayer + 0x7A4, 4); }, InWorld, "", kFull},
        {"map 2000, player past 4 GiB", [](S& s, M& m) { s.mapId = 2000; s.objectBase = 0xFFFFF000; s.objectStride = 0xFF0; layOut(m, s); }, InWorld, "", {-8949.95f, -132.49f, 83.53f, 0.61f, 0x12A4, 2000, 1, 0xFFFFFFF0, kMgr}},
        {"state unreadable", [](S&, M& m) { m.makeUnreadable(kBase + 0x7D0792, 1); }, ReadError, "Could not read g_ClientConnectionState.", only(0)},
        {"state 0", [](S&, M& m) { m.putU8(kBase + 0x7D0792, 0); }, NotInWorld, "", only(0)},
        {"state 255", [](S&, M& m) { m.putU8(kBase + 0x7D0792, 255); }, NotInWorld, "", only(255)},
        {"no local GUID", [](S&, M& m) { m.putU64(kMgr + 0xC0, 0); }, NotInWorld, "Local player GUID is unavailable.", only(1)},
        {"x unreadable", [](S&, M& m) { m.makeUnreadable(kPlayer + 0x79C, 4); }, ReadError, kNoFloat, only(1)},
        {"y unreadable", [](S&, M& m) { m.makeUnreadable(kPlayer + 0x798, 4); }, ReadError, kNoFloat, only(1)},
        {"z unreadable", [](S&, M& m) { m.makeUnreadable(kPlayer + 0x7A0, 4); }, ReadError, kNoFloat, only(1)},
        {"facing unreadable", [](S&, M& m) { m.makeUnreadable(kPlayer + 0x7A8, 4); }, ReadError, kNoFloat, only(1)},
        // Validated before the map is read: the map is unreadable in these rows.
        {"x 99999.99, z -99999.99", [](S& s, M& m) { s.x = 99999.99f; s.z = -99999.99f; layOut(m, s); }, InWorld, "", {99999.99f, -132.49f, -99999.99f, 0.61f, 0x12A4, 571, 1, kPlayer, kMgr}},
        {"y -99999.99, facing 1e30", [](S& s, M& m) { s.y = -99999.99f; s.orientation = 1e30f; layOut(m, s); }, InWorld, "", {-8949.95f, -99999.99f, 83.53f, 1e30f, 0x12A4, 571, 1, kPlayer, kMgr}},
        {"x 100000", [](S&, M& m) { m.putFloat(kPlayer + 0x79C, 100000.0f); }, ReadError, kInvalid, only(1)},
        {"y -100000", [](S&, M& m) { m.putFloat(kPlayer + 0x798, -100000.0f); }, ReadError, kInvalid, only(1)},
        {"z 100000", [](S&, M& m) { m.putFloat(kPlayer + 0x7A0, 100000.0f); }, ReadError, kInvalid, only(1)},
        {"x NaN", [](S&, M& m) { m.putFloat(kPlayer + 0x79C, std::numeric_limits<float>::quiet_NaN()); }, ReadError, kInvalid, only(1)},
        {"z -inf", [](S&, M& m) { m.putFloat(kPlayer + 0x7A0, -std::numeric_limits<float>::infinity()); }, ReadError, kInvalid, only(1)},
        {"facing NaN", [](S&, M& m) { m.putFloat(kPlayer + 0x7A8, std::numeric_limits<float>::quiet_NaN()); }, ReadError, kInvalid, only(1)},
        {"facing inf", [](S&, M& m) { m.putFloat(kPlayer + 0x7A8, std::numeric_limits<float>::infinity()); }, ReadError, kInvalid, only(1)},
        {"map unreadable", [](S&, M& m) { m.makeUnreadable(kMgr + 0xCC, 4); }, ReadError, kNoMap, only(1)},
        {"player 8193rd", [](S& s, M& m) { layOutCrowd(m, s, 8192); }, ReadError, "The game's object list is longer than the bridge follows (8192 objects).", only(1)},
        {"a looping list", [](S&, M& m) { m.putU64(kPlayer + 0x30, 7); m.putU32(obj(2) + 0x3C, obj(0)); }, NotInWorld, kNoPlayer, only(1)},
        {"map 2001", [](S&, M& m) { m.putU32(kMgr + 0xCC, 2001); }, ReadError, kNoMap, only(1)},
        {"map 0xFFFFFFFF", [](S&, M& m) { m.putU32(kMgr + 0xCC, 0xFFFFFFFF); }, ReadError, kNoMap, only(1)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        S scene;
        M image = laidOut(scene, row.edit);
        if (row.message == kInvalid) image.makeUnreadable(kMgr + 0xCC, 4);
        EXPECT_EQ(read(image, kBase), (Reading{row.status, row.snapshot, row.message}));
    }
}

// The guard walk begins a second after the kept object was last met in the
// list and compares at most 32 objects a cycle; a kept cycle makes 6 reads, a
// guard step at most 4 + 32 more.
TEST(KeptPlayer, ConfirmedInSixReadsAndMetAgainByAGuardWalkOf32ObjectsACycle) {
    for (const std::size_t objects : {1, 500, 8192}) {
        SCOPED_TRACE(objects);
        S scene;
        M image;
        layOutCrowd(image, scene, objects - 1);
        KeptPlayer kept;
        // The guard walk that first meets the new list's player ends in this cycle.
        const std::int64_t switched = 1000 * kMs + 20 * kMs * static_cast<std::int64_t>((objects + 31) / 32 - 1);
        std::size_t heavy = 0;
        for (std::int64_t now = 0; now <= switched + 1000 * kMs; now += 20 * kMs) {
            if (now == 500 * kMs) {  // a new list, while the old player object keeps its GUID
                scene.objectBase = 0x20000000;
                layOut(image, scene);
            }
            image.clearReads();
            const Reading r = read(image, kBase, &kept, now);
            ASSERT_EQ(r.status, InWorld);
            if (image.readCount() > 6 + 4 + 32) ++heavy;  // a whole walk
            if (now < 1000 * kMs) { EXPECT_EQ(image.readCount(), now == 0 ? objects + 8 : 6u); }
            EXPECT_EQ(r.snapshot.playerObject, obj(objects - 1) + (now >= switched ? 0x10000000 : 0));
        }
        EXPECT_EQ(heavy, objects + 8 > 6 + 4 + 32 ? 2u : 0u);  // the first cycle and the switch
    }
}

// Nothing found: a list of up to 256 objects is walked whole every cycle; a
// longer one is searched 256 objects a cycle, the last outcome standing
// meanwhile, so a player who appears in it is found within one search.
TEST(KeptPlayer, SearchedInStepsOf256WhileNothingIsFound) {
    const struct { const char* what; std::size_t objects; std::size_t appearsAt; ReadStatus status; const char* message; } rows[] = {
        {"short list", 200, 150, NotInWorld, kNoPlayer},
        {"long list", 5000, 4000, NotInWorld, kNoPlayer},
        {"longer than the bridge follows", 8300, 8000, ReadError, "The game's object list is longer than the bridge follows (8192 objects)."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        S scene;
        M image;
        layOutCrowd(image, scene, row.objects);  // the player past the end
        image.putU32(obj(row.objects - 1) + 0x3C, obj(row.objects));
        image.putU64(obj(row.objects) + 0x30, 7);  // not the player: the list goes on
        image.putU32(obj(row.objects) + 0x3C, 0);
        KeptPlayer kept;
        std::int64_t now = 0;
        for (int cycle = 0; cycle < 40; ++cycle, now += 20 * kMs) {
            image.clearReads();
            EXPECT_EQ(read(image, kBase, &kept, now), (Reading{row.status, only(1), row.message}));
            const std::size_t walked = std::min<std::size_t>(row.objects + 1, 8192);
            EXPECT_LE(image.readCount(), cycle == 0 ? 5 + walked : 5 + std::min<std::size_t>(walked, 256));
        }
        const float floats[] = {scene.y, scene.x, scene.z, 0.0f, scene.orientation};
        image.putBytes(obj(row.appearsAt) + 0x798, floats, sizeof floats);
        image.putU64(obj(row.appearsAt) + 0x30, scene.localGuid);
        int cycles = 1;
        for (; read(image, kBase, &kept, now).status != InWorld && cycles <= 40; ++cycles) now += 20 * kMs;
        EXPECT_LE(cycles, static_cast<int>(std::min<std::size_t>(row.objects + 1, 8192) + 255) / 256 + 1);
        if (row.objects <= 256) { EXPECT_EQ(cycles, 1); }
    }
}

// A kept object whose floats fail the checks is read again, not walked to,
// while it carries the GUID; its good floats are published at once.
TEST(KeptPlayer, KeptThroughFloatsThatFailTheChecks) {
    S scene;
    M image;
    layOutCrowd(image, scene, 499);
    KeptPlayer kept;
    ASSERT_EQ(read(image, kBase, &kept, 0).status, InWorld);
    image.putFloat(obj(499) + 0x79C, 100000.0f);
    for (std::int64_t now = 20 * kMs; now < 200 * kMs; now += 20 * kMs) {
        image.clearReads();
        EXPECT_EQ(read(image, kBase, &kept, now), (Reading{ReadError, only(1), kInvalid}));
        EXPECT_EQ(image.readCount(), 6u);
    }
    image.putFloat(obj(499) + 0x79C, scene.x);
    image.clearReads();
    EXPECT_EQ(read(image, kBase, &kept, 200 * kMs), (Reading{InWorld, {-8949.95f, -132.49f, 83.53f, 0.61f, 0x12A4, 571, 1, obj(499), kMgr}, ""}));
    EXPECT_EQ(image.readCount(), 6u);
    // Found by a walk with such floats, it is kept as well.
    image.putFloat(obj(499) + 0x79C, std::numeric_limits<float>::quiet_NaN());
    KeptPlayer fresh;
    EXPECT_EQ(read(image, kBase, &fresh, 0).status, ReadError);
    image.clearReads();
    EXPECT_EQ(read(image, kBase, &fresh, 20 * kMs).status, ReadError);
    EXPECT_EQ(image.readCount(), 6u);
}

TEST(KeptPlayer, WalkSlowerThanASecondIsNotRepeatedAtOnce) {
    M image = laidOut(S{});
    KeptPlayer kept;
    Reading r;
    std::int64_t t = 0;
    const auto slow = [&t] { return t += 600 * kMs; };  // each reading of the clock 600 ms on
    for (const std::size_t reads : {10u, 6u}) {  // a walk ending 0.6 s in, then a cycle 0.6 s on
        image.clearReads();
        EXPECT_EQ(readCharacterState(image, kBase, r.snapshot, r.error, kept, slow), InWorld);
        EXPECT_EQ(image.readCount(), reads);
    }
    // The player gone while kept: walked again, but none begun two seconds after the call began.
    image.putU64(kPlayer + 0x30, 7);
    image.clearReads();
    EXPECT_EQ(readCharacterState(image, kBase, r.snapshot, r.error, kept, slow), NotInWorld);
    // The state, the chain (3), a guard walk that misses it (4 + 3), then four walks of three objects.
    EXPECT_EQ(image.readCount(), 1 + 3 + (4 + 3) + 4 * (4 + 3u));
}

TEST(KeptPlayer, AnyDifferenceWalksInTheSameCycle) {
    const struct { const char* what; void (*edit)(S&, M&); } rows[] = {
        {"manager changed", [](S& s, M& m) { s.objectManager = 0x1400000; s.mapId = 1; layOut(m, s); }},
        // Another character, its object where the last one's was.
        {"local GUID changed", [](S&, M& m) { m.putU64(kMgr + 0xC0, 0x12A5); m.putU64(kPlayer + 0x30, 0x12A5); }},
        {"object's GUID changed", [](S&, M& m) { m.putU64(kPlayer + 0x30, 0xF130000000000103); }},
        {"object's GUID unreadable", [](S&, M& m) { m.makeUnreadable(kPlayer + 0x30, 8); }},
        {"floats unreadable", [](S&, M& m) { m.makeUnreadable(kPlayer + 0x798, 20); }},
        {"bytes between GUID and map unreadable", [](S&, M& m) { m.makeUnreadable(kMgr + 0xC8, 4); }},
        {"state unreadable", [](S&, M& m) { m.makeUnreadable(kBase + 0x7D0792, 1); }},
        {"not in the world", [](S&, M& m) { m.putU8(kBase + 0x7D0792, 0); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        S scene;
        M image = laidOut(scene);
        KeptPlayer kept;
        ASSERT_EQ(read(image, kBase, &kept, 0).status, InWorld);
        row.edit(scene, image);
        const Reading r = read(image, kBase, &kept, 20 * kMs);
        EXPECT_EQ(r, read(image, kBase));
        EXPECT_EQ(kept.player.playerObject, r.status == InWorld ? r.snapshot.playerObject : 0);
    }
}

// The game relinks its list while we read it: here its memory changes just
// before the read number `at`. The player object obj(1) is reused (another
// GUID, last in the list) and the player re-created at obj(3), after obj(2).
TEST(KeptPlayer, ListChangingWhileReadGivesThePlayerOrNothing) {
    struct Changing final : GameMemory {
        M image = laidOut(S{});
        std::size_t at = 0, count = 0;
        bool read(std::uint64_t address, void* out, std::size_t size) override {
            if (++count == at) {
                layOut(image, S{.objectGuids = {0xF130000000000101, 0xF130000000000103, 0xF130000000000102, 0x12A4}});
                image.putU32(kPlayer + 0x3C, 0);
                image.putU32(obj(0) + 0x3C, obj(2));
            }
            return image.read(address, out, size);
        }
    };
    // Reads: the state, then kept: chain (3, the map with the GUID), floats, the object's GUID; walking: chain (4), objects.
    const struct { const char* what; bool kept; std::int64_t now; std::size_t at; Reading expected; } rows[] = {
        {"kept, reused between its floats and its GUID", true, 20 * kMs, 6, {InWorld, kMoved, ""}},
        {"kept, the walk taken off the list", true, 2000 * kMs, 7, {InWorld, kMoved, ""}},
        {"nothing kept, the walk taken off the list", false, 0, 7, {NotInWorld, only(1), kNoPlayer}},
        {"nothing kept, reused between its GUID and its floats", false, 0, 8, {NotInWorld, only(1), kNoPlayer}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Changing memory;
        KeptPlayer kept;
        if (row.kept) { ASSERT_EQ(read(memory.image, kBase, &kept, 0).status, InWorld); }
        memory.at = row.at;
        Reading r;
        r.status = readCharacterState(memory, kBase, r.snapshot, r.error, kept, [&row] { return row.now; });
        EXPECT_EQ(r, row.expected);
    }
}

}  // namespace
}  // namespace corvane
