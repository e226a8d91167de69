#include "driver/poses.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>

namespace corvane {
namespace {

constexpr Vec3 kUp{0.0f, 1.0f, 0.0f};
constexpr float kNearestHalfPi = 1.57079637f;  // bits 0x3FC90FDB

std::uint32_t bits(float f) { return std::bit_cast<std::uint32_t>(f); }

// Bit for bit, so a -0 or a rounding difference shows.
void expectExactly(const Vec3& actual, const Vec3& expected) {
    EXPECT_EQ(bits(actual.x), bits(expected.x)) << actual.x << " vs " << expected.x;
    EXPECT_EQ(bits(actual.y), bits(expected.y)) << actual.y << " vs " << expected.y;
    EXPECT_EQ(bits(actual.z), bits(expected.z)) << actual.z << " vs " << expected.z;
}

void expectAvatar(const Pose& pose, const Vec3& position, const Vec3& front) {
    expectExactly(pose.avatarPosition, position);
    expectExactly(pose.avatarFront, front);
    expectExactly(pose.avatarTop, kUp);
    expectExactly(pose.cameraPosition, pose.avatarPosition);
    expectExactly(pose.cameraFront, pose.avatarFront);
    expectExactly(pose.cameraTop, pose.avatarTop);
}

TEST(StaticPose, DefaultsStandAtOneFacingPlusZ) {
    expectAvatar(staticPose(BridgeOptions{}), {0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, 1.0f});
}

TEST(StaticPose, UsesPositionAndYaw) {
    BridgeOptions options;
    options.x = -3.5f;
    options.y = 2.0f;
    options.z = 1e6f;
    options.yaw = 90.0f;
    EXPECT_EQ(bits(degreesToRadians(90.0f)), bits(kNearestHalfPi));
    const Pose pose = staticPose(options);
    // cos of the float nearest pi/2 is not 0 but about -4.37e-8.
    expectAvatar(pose, {-3.5f, 2.0f, 1e6f}, {1.0f, 0.0f, std::cos(kNearestHalfPi)});
    EXPECT_NEAR(pose.avatarFront.z, -4.371139e-8f, 1e-13f);
    options.yaw = 180.0f;
    EXPECT_EQ(staticPose(options).avatarFront.z, -1.0f);
}

TEST(OrbitPose, StartsAtRadiusFacingTheCentre) {
    BridgeOptions options;
    options.y = 1.5f;
    const Pose pose = orbitPose(options, 0);
    // The front is (sin pi, 0, cos pi) with pi as a float: x about -8.74e-8.
    expectAvatar(pose, {0.0f, 1.5f, 8.0f}, {std::sin(3.1415927f), 0.0f, -1.0f});
    EXPECT_NEAR(pose.avatarFront.x, -8.742278e-8f, 1e-13f);
}

TEST(OrbitPose, TurnsAtSpeedDegreesPerSecond) {
    BridgeOptions options;
    options.speed = 90.0f;
    const Pose quarter = orbitPose(options, 1'000'000'000);
    EXPECT_FLOAT_EQ(quarter.avatarPosition.x, 8.0f);
    EXPECT_NEAR(quarter.avatarPosition.z, 0.0f, 1e-5f);
    EXPECT_FLOAT_EQ(quarter.avatarFront.x, -1.0f);
    EXPECT_NEAR(quarter.avatarFront.z, 0.0f, 1e-5f);
    expectExactly(quarter.cameraPosition, quarter.avatarPosition);

    options.speed = -90.0f;
    EXPECT_FLOAT_EQ(orbitPose(options, 1'000'000'000).avatarPosition.x, -8.0f);
}

TEST(OrbitPose, IgnoresXZAndYaw) {
    BridgeOptions plain;
    BridgeOptions moved = plain;
    moved.x = 100.0f;
    moved.z = -7.0f;
    moved.yaw = 33.0f;
    for (std::int64_t elapsed : {0LL, 20'000'000LL, 1'234'567'890LL, 3'600'000'000'000LL}) {
        EXPECT_EQ(orbitPose(moved, elapsed), orbitPose(plain, elapsed)) << elapsed;
    }
}

TEST(OrbitPose, ZeroSpeedStandsStillAndZeroRadiusStaysOnTheAxis) {
    BridgeOptions still;
    still.speed = 0.0f;
    EXPECT_EQ(orbitPose(still, 10'000'000'000), orbitPose(still, 0));

    BridgeOptions axis;
    axis.radius = 0.0f;
    axis.speed = 90.0f;
    const Pose pose = orbitPose(axis, 1'000'000'000);
    EXPECT_EQ(pose.avatarPosition, (Vec3{0.0f, 0.0f, 0.0f}));
    EXPECT_FLOAT_EQ(pose.avatarFront.x, -1.0f);
}

TEST(Fnv1a64, MatchesKnownValues) {
    EXPECT_EQ(fnv1a64(""), 0xcbf29ce484222325ull);
    EXPECT_EQ(fnv1a64("a"), 0xaf63dc4c8601ec8cull);
    EXPECT_EQ(fnv1a64("foobar"), 0x85944171f73967e8ull);
    EXPECT_EQ(fnv1a64("\xFF"), 0xaf64724c8602eb6eull);  // bytes are unsigned
}

TEST(IsolationPose, PlacesEachIdentityOnItsGridPoint) {
    struct Case {
        const char* identity;
        float ix;
        float iz;
    } cases[] = {
        {"CorvaneTest", 651, 1},
        {"", 805, 136},
        {"a", 140, 123},
        {"\xC3\xA9", 513, 519},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.identity);
        const Pose pose = isolationPose(c.identity);
        expectAvatar(pose, {c.ix * 1000.0f + 50'000'000.0f, 0.0f, c.iz * 1000.0f + 50'000'000.0f},
                     {0.0f, 0.0f, 1.0f});
    }
}

TEST(LivePose, PutsEachMapInItsRegion) {
    CharacterSnapshot snapshot;
    snapshot.x = 10.0f;
    snapshot.y = 20.0f;
    snapshot.z = 30.0f;
    struct Case {
        std::uint32_t mapId;
        Vec3 position;
    } cases[] = {
        {0, {10.0f, 30.0f, 20.0f}},
        {1, {250'010.0f, 30.0f, 20.0f}},
        {31, {7'750'010.0f, 30.0f, 20.0f}},
        {32, {10.0f, 30.0f, 250'020.0f}},
        {571, {27 * 250'000.0f + 10.0f, 30.0f, 17 * 250'000.0f + 20.0f}},
        {2000, {16 * 250'000.0f + 10.0f, 30.0f, 62 * 250'000.0f + 20.0f}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mapId);
        snapshot.mapId = c.mapId;
        expectAvatar(livePose(snapshot, 1.0f), c.position, {1.0f, 0.0f, 0.0f});
    }
}

TEST(LivePose, ScalesBeforeAddingTheRegion) {
    CharacterSnapshot snapshot;
    snapshot.x = -1234.567f;
    snapshot.y = 8901.25f;
    snapshot.z = 77.7f;
    snapshot.mapId = 33;
    const float s = 0.9144f;
    // Each product rounded to a float first, then added to the region offset.
    const float sx = s * snapshot.x;
    const float sy = s * snapshot.y;
    const float sz = s * snapshot.z;
    const Pose pose = livePose(snapshot, s);
    expectExactly(pose.avatarPosition, {250'000.0f + sx, sz, 250'000.0f + sy});
}

TEST(LivePose, FacesAlongTheOrientation) {
    CharacterSnapshot snapshot;
    snapshot.orientation = kNearestHalfPi;
    const Pose pose = livePose(snapshot, 1.0f);
    expectAvatar(pose, {0.0f, 0.0f, 0.0f}, {std::cos(kNearestHalfPi), 0.0f, 1.0f});
    snapshot.orientation = 3.1415927f;
    EXPECT_EQ(livePose(snapshot, 1.0f).avatarFront.x, -1.0f);
}

}  // namespace
}  // namespace corvane
