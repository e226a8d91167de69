// An arbitrary game image through the character read, once walking every time
// and three times keeping the player as the bridge does. The input picks the
// scene (connection state, pointers, GUIDs, list length and ending, floats,
// map) and then overwrites or hides bytes next to the structures.
//
// Checked: no crash; status, message and snapshot agree with each other; no
// walk reads more than 8192 objects; kept or not, the outcome is the same.

#include "fuzz/fuzz_check.h"
#include "tests/support/game_scene.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

using namespace corvane;
using namespace corvane::wow;

std::uint64_t build(FuzzInput in, MemoryImage& image) {
    const std::uint32_t pointers[] = {0x1200000, 0x1300000, 0, 0xFFFF, 0x10000};
    const float floats[] = {0.0f, 99999.99f, -100000.0f, 1.0e30f, std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::quiet_NaN()};
    GameScene s{.connectionState = in.pick<std::uint8_t>({1, 0}), .clientConnection = in.pick(pointers),
                .objectManager = in.pick(pointers), .localGuid = in.pick<std::uint64_t>({0x12A4, 0, 0x1000012A4}),
                .mapId = in.pick<std::uint32_t>({571, 2000, 2001, 0xFFFFFFFF}), .x = in.pick(floats),
                .orientation = in.pick(floats)};
    // One time in eight a crowd, up to past the walk's limit.
    const std::size_t count = in.take<std::uint8_t>() % 8 == 0 ? in.take<std::uint16_t>() % 8200 : in.take<std::uint8_t>() % 8;
    const std::size_t player = in.take<std::uint16_t>() % (count + 1);  // count: none
    s.objectGuids.assign(count, s.localGuid);
    for (std::size_t i = 0; i < count; ++i) s.objectGuids[i] ^= i == player ? 0 : 0xF130000000000000 + i;
    layOut(image, s);
    const std::uint8_t ending = in.take<std::uint8_t>() % 3;  // null, self link, loop
    if (count > 0 && ending != 0) image.putU32(s.object(count - 1) + kNext, s.object(ending == 1 ? count - 1 : 0));
    const std::uint64_t anchors[] = {s.moduleBase + kState, s.moduleBase + kConnection, s.clientConnection + kManager,
                                     s.objectManager + kFirst, s.objectManager + kLocalGuid, s.objectManager + kMap,
                                     s.object(player) + kGuid, s.object(player) + kY};
    for (int edits = 0; edits < 16 && in.size > 0; ++edits) {
        const std::uint8_t op = in.take<std::uint8_t>();
        const std::uint64_t at = anchors[op % std::size(anchors)] + static_cast<std::uint64_t>(in.take<std::int8_t>());
        if (op & 0x80) image.makeUnreadable(at, 1 + in.take<std::uint8_t>() % 24);
        else image.putU32(at, in.take<std::uint32_t>());
    }
    return s.moduleBase;
}

Reading checkedRead(MemoryImage& image, std::uint64_t base, KeptPlayer* kept, std::int64_t now) {
    image.clearReads();
    const Reading r = read(image, base, kept, now);
    // 16 bytes: one an object; with a kept player, up to eight walks.
    std::size_t objectReads = 0;
    for (const auto& access : image.reads()) objectReads += access.size == 16 ? 1 : 0;
    CORVANE_FUZZ_CHECK(objectReads <= (kept == nullptr ? 8192u : 8 * 8192u));
    const CharacterSnapshot& s = r.snapshot;
    CORVANE_FUZZ_CHECK(r.status == ReadStatus::InWorld || s == CharacterSnapshot{.connectionState = s.connectionState});
    const bool quiet = r.status == ReadStatus::InWorld || (r.status == ReadStatus::NotInWorld && s.connectionState != 1);
    CORVANE_FUZZ_CHECK(r.error.empty() == quiet);
    if (r.status == ReadStatus::InWorld) {
        CORVANE_FUZZ_CHECK(s.connectionState == 1 && s.guid != 0 && s.mapId <= 2000);
        CORVANE_FUZZ_CHECK(s.playerObject >= 0x10000 && s.objectManager >= 0x10000);
        CORVANE_FUZZ_CHECK(isPlausibleCoordinate(s.x) && isPlausibleCoordinate(s.y) &&
                           isPlausibleCoordinate(s.z) && isFiniteFloat(s.orientation));
    }
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemoryImage image;
    const std::uint64_t base = build({data, size}, image);
    const Reading walked = checkedRead(image, base, nullptr, 0);
    KeptPlayer kept;
    for (const std::int64_t now : {0, 20'000'000, 1'020'000'000}) CORVANE_FUZZ_CHECK(checkedRead(image, base, &kept, now) == walked);
    return 0;
}
