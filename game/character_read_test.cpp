#include "game/character_read.h"

#include "game/game_layout.h"
#include "game/memory_image.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace corvane {
namespace {

using namespace layout;

struct Reading {
    ReadStatus status = ReadStatus::InWorld;
    CharacterSnapshot snapshot;
    std::string error;
};

Reading readScene(MemoryImage& image, const GameScene& scene) {
    // Leftovers of an earlier cycle, which every outcome must replace.
    Reading result{ReadStatus::InWorld, {1, 2, 3, 4, 5, 6, 7, 8, 9}, "stale"};
    result.status = readCharacterState(image, scene.moduleBase, result.snapshot, result.error);
    return result;
}

TEST(CharacterRead, InWorldFillsEverything) {
    // Distinct x and y catch a swap of +0x79C and +0x798; the second scene puts
    // every field above 4 GiB, where 32-bit address arithmetic would wrap.
    const GameScene top{.moduleBase = 0x00007FF612340000,
                        .localGuid = 0xF130000700012345,  // past 32 bits too
                        .mapId = 2000,
                        .objectGuids = {0xF130000000000001, 0xF130000700012345},
                        .objectBase = 0xFFFFF000,
                        .objectStride = 0xFF0};  // the player at 0xFFFFFFF0: all past 4 GiB
    for (const GameScene& scene : {GameScene{}, top}) {
        SCOPED_TRACE(scene.moduleBase);
        MemoryImage image;
        layOut(image, scene);
        const Reading result = readScene(image, scene);
        EXPECT_EQ(result.status, ReadStatus::InWorld);
        EXPECT_EQ(result.error, "");
        EXPECT_EQ(result.snapshot,
                  (CharacterSnapshot{scene.x, scene.y, scene.z, scene.orientation, scene.localGuid,
                                     scene.mapId, 1, scene.object(1), scene.objectManager}));
    }
}

TEST(CharacterRead, StopsAtTheFirstFailedStep) {
    using enum ReadStatus;
    struct Case {
        std::uint64_t address;
        std::size_t size;
        std::optional<std::uint64_t> value;  // none: unreadable
        ReadStatus status;
        const char* message;
        std::uint8_t connectionState;
        std::size_t reads;  // 1 for the state, 6 for the lookup, 4 floats, 1 map
    };
    const GameScene scene;
    const std::uint64_t state = scene.moduleField(kConnectionState);
    const std::uint64_t player = scene.object(1);
    const char* const noState = "Could not read g_ClientConnectionState.";
    const char* const noList = "Could not read the first ObjectManager object.";
    const char* const noFloat = "Found the local player but could not read X/Y/Z/orientation.";
    const char* const noMap = "Could not read a plausible map ID.";
    const Case cases[] = {
        {state, 1, {}, ReadError, noState, 0, 1},
        {state, 1, 0, NotInWorld, "", 0, 1},
        {state, 1, 2, NotInWorld, "", 2, 1},
        {state, 1, 255, NotInWorld, "", 255, 1},
        {scene.managerField(kLocalPlayerGuid), 8, 0, NotInWorld,
         "Local player GUID is unavailable.", 1, 4},
        {scene.managerField(kFirstObject), 4, 0, NotInWorld, noList, 1, 5},
        // The floats are read one by one in this order, and no further.
        {player + kPositionX, 4, {}, ReadError, noFloat, 1, 8},
        {player + kPositionY, 4, {}, ReadError, noFloat, 1, 9},
        {player + kPositionZ, 4, {}, ReadError, noFloat, 1, 10},
        {player + kOrientation, 4, {}, ReadError, noFloat, 1, 11},
        {scene.managerField(kMapId), 4, {}, ReadError, noMap, 1, 12},
        {scene.managerField(kMapId), 4, 2001, ReadError, noMap, 1, 12},
        {scene.managerField(kMapId), 4, 0xFFFFFFFF, ReadError, noMap, 1, 12},  // unsigned
    };
    for (std::size_t row = 0; row < std::size(cases); ++row) {
        SCOPED_TRACE(testing::Message() << "row " << row);
        const Case& c = cases[row];
        MemoryImage image;
        layOut(image, scene);
        if (c.value) image.putBytes(c.address, &*c.value, c.size);  // low bytes: little-endian
        if (!c.value) image.makeUnreadable(c.address, c.size);
        const Reading result = readScene(image, scene);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.error, c.message);
        EXPECT_EQ(result.snapshot, CharacterSnapshot{.connectionState = c.connectionState});
        ASSERT_EQ(image.readCount(), c.reads);
        EXPECT_EQ(image.reads().back(), (MemoryImage::Access{c.address, c.size}));
    }
}

TEST(CharacterRead, ValidatesPositionBeforeTheMap) {
    using Limits = std::numeric_limits<float>;
    const struct {
        float value;
        bool plausible;  // as a coordinate
        bool finite;     // as an orientation
    } values[] = {
        {0.0f, true, true},           {Limits::denorm_min(), true, true},
        {99999.99f, true, true},      {-99999.99f, true, true},
        {100000.0f, false, true},     {-100000.0f, false, true},
        {1.0e30f, false, true},       {Limits::infinity(), false, false},
        {-Limits::infinity(), false, false}, {Limits::quiet_NaN(), false, false},
        {std::bit_cast<float>(std::uint32_t{0xFFC00000}), false, false},  // negative NaN
        {std::bit_cast<float>(std::uint32_t{0x7F800001}), false, false},  // signalling NaN
    };
    const struct {
        std::uint64_t offset;
        float CharacterSnapshot::*field;
    } fields[] = {
        {kPositionX, &CharacterSnapshot::x},
        {kPositionY, &CharacterSnapshot::y},
        {kPositionZ, &CharacterSnapshot::z},
        {kOrientation, &CharacterSnapshot::orientation},  // finite, of any size
    };
    for (const auto& f : fields) {
        for (const auto& v : values) {
            SCOPED_TRACE(testing::Message() << std::hex << f.offset << ' '
                                            << std::bit_cast<std::uint32_t>(v.value));
            MemoryImage image;
            const GameScene scene;
            layOut(image, scene);
            image.putFloat(scene.object(1) + f.offset, v.value);
            const bool accepted = f.offset == kOrientation ? v.finite : v.plausible;
            // A rejected value must be caught before the map is read.
            if (!accepted) image.makeUnreadable(scene.managerField(kMapId), 4);
            const Reading result = readScene(image, scene);
            if (accepted) {
                EXPECT_EQ(result.status, ReadStatus::InWorld);
                EXPECT_EQ(std::bit_cast<std::uint32_t>(result.snapshot.*f.field),
                          std::bit_cast<std::uint32_t>(v.value));
            } else {
                EXPECT_EQ(result.status, ReadStatus::ReadError);
                EXPECT_EQ(result.error, "Position data failed validation.");
                EXPECT_EQ(result.snapshot, CharacterSnapshot{.connectionState = 1});
            }
        }
    }
}

}  // namespace
}  // namespace corvane
