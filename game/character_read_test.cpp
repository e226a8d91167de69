#include "game/character_read.h"

#include "game/game_layout.h"
#include "game/memory_image.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace corvane {
namespace {

using namespace layout;

const char* const kValidationFailed = "Position data failed validation.";
const char* const kMapFailed = "Could not read a plausible map ID.";

struct Reading {
    ReadStatus status = ReadStatus::InWorld;
    CharacterSnapshot snapshot;
    std::string error;
};

Reading readScene(MemoryImage& image, const GameScene& scene) {
    Reading result;
    // Leftovers of an earlier cycle, which every outcome must replace.
    result.snapshot = CharacterSnapshot{1, 2, 3, 4, 5, 6, 7, 8, 9};
    result.error = "stale";
    result.status = readCharacterState(image, scene.moduleBase, result.snapshot, result.error);
    return result;
}

CharacterSnapshot onlyState(std::uint8_t connectionState) {
    CharacterSnapshot snapshot;
    snapshot.connectionState = connectionState;
    return snapshot;
}

CharacterSnapshot expectedSnapshot(const GameScene& scene, std::size_t playerIndex) {
    return CharacterSnapshot{.x = scene.x,
                             .y = scene.y,
                             .z = scene.z,
                             .orientation = scene.orientation,
                             .guid = scene.localGuid,
                             .mapId = scene.mapId,
                             .connectionState = 1,
                             .playerObject = scene.object(playerIndex),
                             .objectManager = scene.objectManager};
}

std::string hexBits(float value) {
    char text[16];
    const auto bits = static_cast<unsigned>(std::bit_cast<std::uint32_t>(value));
    std::snprintf(text, sizeof text, "%08X", bits);
    return text;
}

TEST(CharacterRead, InWorldFillsEverything) {
    // Distinct x and y catch a swap of +0x79C and +0x798; the other scenes put
    // fields above 4 GiB, where 32-bit address arithmetic would wrap.
    struct Case {
        const char* what;
        GameScene scene;
    };
    Case cases[] = {{"standard", {}}, {"module above 4 GiB", {}}, {"player crossing 4 GiB", {}}};
    cases[1].scene.moduleBase = 0x00007FF612340000;
    GameScene& top = cases[2].scene;
    top.objectGuids = {0xF130000000000001, top.localGuid};
    top.objectBase = 0xFFFFF000;
    top.objectStride = 0xFF0;  // the player at 0xFFFFFFF0 has every field past 4 GiB
    top.mapId = 2000;
    for (const auto& [what, scene] : cases) {
        SCOPED_TRACE(what);
        MemoryImage image;
        layOut(image, scene);
        const Reading result = readScene(image, scene);
        EXPECT_EQ(result.status, ReadStatus::InWorld);
        EXPECT_EQ(result.error, "");
        EXPECT_EQ(result.snapshot, expectedSnapshot(scene, 1));
    }
}

std::uint64_t stateSlot(const GameScene& s) { return s.moduleField(kConnectionState); }
std::uint64_t localGuidSlot(const GameScene& s) { return s.managerField(kLocalPlayerGuid); }
std::uint64_t firstObjectSlot(const GameScene& s) { return s.managerField(kFirstObject); }
std::uint64_t mapSlot(const GameScene& s) { return s.managerField(kMapId); }

TEST(CharacterRead, OutcomeTable) {
    using enum ReadStatus;
    struct Case {
        std::uint64_t (*slot)(const GameScene&);
        std::size_t size;
        std::optional<std::uint64_t> value;  // none: unreadable
        ReadStatus status;
        const char* message;
        std::uint8_t connectionState;
    };
    const char* const noState = "Could not read g_ClientConnectionState.";
    const char* const noGuid = "Local player GUID is unavailable.";
    const char* const noList = "Could not read the first ObjectManager object.";
    const char* const notListed = "Local player object was not found in ObjectManager.";
    const Case cases[] = {
        {stateSlot, 1, {}, ReadError, noState, 0},
        {stateSlot, 1, 0, NotInWorld, "", 0},
        {stateSlot, 1, 2, NotInWorld, "", 2},
        {stateSlot, 1, 255, NotInWorld, "", 255},
        {localGuidSlot, 8, 0, NotInWorld, noGuid, 1},
        {firstObjectSlot, 4, 0, NotInWorld, noList, 1},
        {localGuidSlot, 8, 0x99, NotInWorld, notListed, 1},
        {mapSlot, 4, {}, ReadError, kMapFailed, 1},
        {mapSlot, 4, 2001, ReadError, kMapFailed, 1},
        {mapSlot, 4, 0xFFFFFFFF, ReadError, kMapFailed, 1},
    };
    for (std::size_t row = 0; row < std::size(cases); ++row) {
        SCOPED_TRACE(testing::Message() << "row " << row);
        const Case& c = cases[row];
        MemoryImage image;
        const GameScene scene;
        layOut(image, scene);
        if (c.value) {
            image.putBytes(c.slot(scene), &*c.value, c.size);  // low bytes: little-endian
        } else {
            image.makeUnreadable(c.slot(scene), c.size);
        }
        const Reading result = readScene(image, scene);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.error, c.message);
        EXPECT_EQ(result.snapshot, onlyState(c.connectionState));
        // Out of the world costs one read.
        if (c.connectionState != 1) {
            EXPECT_EQ(image.readCount(), 1u);
        }
    }
}

TEST(CharacterRead, MapIdUpTo2000) {
    const struct {
        std::uint32_t mapId;
        bool accepted;
    } cases[] = {{0, true}, {2000, true}, {2001, false}, {0x80000000, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mapId);
        MemoryImage image;
        GameScene scene;
        scene.mapId = c.mapId;
        layOut(image, scene);
        const Reading result = readScene(image, scene);
        EXPECT_EQ(result.status, c.accepted ? ReadStatus::InWorld : ReadStatus::ReadError);
        EXPECT_EQ(result.snapshot, c.accepted ? expectedSnapshot(scene, 1) : onlyState(1));
    }
}

TEST(CharacterRead, StopsAtTheFirstUnreadableFloat) {
    const std::uint64_t order[] = {kPositionX, kPositionY, kPositionZ, kOrientation};
    for (std::size_t broken = 0; broken < 4; ++broken) {
        SCOPED_TRACE(broken);
        MemoryImage image;
        const GameScene scene;
        layOut(image, scene);
        const std::uint64_t player = scene.object(1);
        image.makeUnreadable(player + order[broken], 4);
        const Reading result = readScene(image, scene);
        EXPECT_EQ(result.status, ReadStatus::ReadError);
        EXPECT_EQ(result.error, "Found the local player but could not read X/Y/Z/orientation.");
        EXPECT_EQ(result.snapshot, onlyState(1));

        std::vector<MemoryImage::Access> floatReads;
        for (const MemoryImage::Access& access : image.reads()) {
            if (access.address >= player + kPositionY && access.address <= player + kOrientation) {
                floatReads.push_back(access);
            }
        }
        std::vector<MemoryImage::Access> expected;
        for (std::size_t i = 0; i <= broken; ++i) expected.push_back({player + order[i], 4});
        EXPECT_EQ(floatReads, expected);
        EXPECT_EQ(image.reads().back(), expected.back());
    }
}

// Values at the edges of the plausibility rules, with what each rule says.
struct FloatCase {
    float value;
    bool plausible;  // as a coordinate
    bool finite;     // as an orientation
};

const FloatCase kFloatCases[] = {
    {0.0f, true, true},
    {-0.0f, true, true},
    {std::numeric_limits<float>::denorm_min(), true, true},
    {-std::numeric_limits<float>::denorm_min(), true, true},
    {99999.99f, true, true},
    {-99999.99f, true, true},
    {100000.0f, false, true},
    {-100000.0f, false, true},
    {1.0e30f, false, true},
    {-std::numeric_limits<float>::max(), false, true},
    {std::numeric_limits<float>::infinity(), false, false},
    {-std::numeric_limits<float>::infinity(), false, false},
    {std::numeric_limits<float>::quiet_NaN(), false, false},
    {std::bit_cast<float>(std::uint32_t{0xFFC00000}), false, false},  // negative NaN
    {std::bit_cast<float>(std::uint32_t{0x7F800001}), false, false},  // signalling NaN
};

TEST(CharacterSnapshotChecks, PlausibleAndFinite) {
    for (const FloatCase& c : kFloatCases) {
        SCOPED_TRACE(hexBits(c.value));
        EXPECT_EQ(isPlausibleCoordinate(c.value), c.plausible);
        EXPECT_EQ(isFiniteFloat(c.value), c.finite);
    }
}

TEST(CharacterRead, ValidatesPositionBeforeTheMap) {
    const struct {
        const char* name;
        std::uint64_t offset;
        float CharacterSnapshot::*field;
        bool coordinate;
    } fields[] = {
        {"x", kPositionX, &CharacterSnapshot::x, true},
        {"y", kPositionY, &CharacterSnapshot::y, true},
        {"z", kPositionZ, &CharacterSnapshot::z, true},
        {"orientation", kOrientation, &CharacterSnapshot::orientation, false},
    };
    for (const auto& f : fields) {
        for (const FloatCase& c : kFloatCases) {
            SCOPED_TRACE(std::string(f.name) + " " + hexBits(c.value));
            MemoryImage image;
            const GameScene scene;
            layOut(image, scene);
            image.putFloat(scene.object(1) + f.offset, c.value);
            const bool accepted = f.coordinate ? c.plausible : c.finite;
            // A rejected value must be caught before the map is read.
            if (!accepted) image.makeUnreadable(scene.managerField(kMapId), 4);
            const Reading result = readScene(image, scene);
            if (accepted) {
                EXPECT_EQ(result.status, ReadStatus::InWorld);
                EXPECT_EQ(std::bit_cast<std::uint32_t>(result.snapshot.*f.field),
                          std::bit_cast<std::uint32_t>(c.value));
            } else {
                EXPECT_EQ(result.status, ReadStatus::ReadError);
                EXPECT_EQ(result.error, kValidationFailed);
                EXPECT_EQ(result.snapshot, onlyState(1));
            }
        }
    }
}

}  // namespace
}  // namespace corvane
