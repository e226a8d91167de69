#include "driver/poses.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace corvane {
namespace {

constexpr float kNearestHalfPi = 1.57079637f;  // bits 0x3FC90FDB

std::array<std::uint32_t, 3> bits(const Vec3& v) {
    return {std::bit_cast<std::uint32_t>(v.x), std::bit_cast<std::uint32_t>(v.y),
            std::bit_cast<std::uint32_t>(v.z)};
}

// Bit for bit, so a -0 or a rounding difference shows; the camera must equal the avatar.
void expectAvatar(const Pose& pose, const Vec3& position, const Vec3& front) {
    EXPECT_EQ(bits(pose.avatarPosition), bits(position));
    EXPECT_EQ(bits(pose.avatarFront), bits(front));
    EXPECT_EQ(bits(pose.avatarTop), bits({0.0f, 1.0f, 0.0f}));
    EXPECT_EQ(std::memcmp(&pose.avatarPosition, &pose.cameraPosition, 3 * sizeof(Vec3)), 0);
}

TEST(StaticPose, StandsAtThePositionFacingTheYaw) {
    expectAvatar(staticPose({}), {0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, 1.0f});
    // (degrees * pi) / 180: other orders round 1 and 5 degrees differently.
    EXPECT_EQ(std::bit_cast<std::uint32_t>(degreesToRadians(1.0f)), 0x3C8EFA35u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(degreesToRadians(5.0f)), 0x3DB2B8C3u);
    const Pose pose = staticPose({.x = -3.5f, .y = 2.0f, .z = 1e6f, .yaw = 90.0f});
    // cos of the float nearest pi/2 is not 0 but about -4.37e-8.
    expectAvatar(pose, {-3.5f, 2.0f, 1e6f}, {1.0f, 0.0f, std::cos(kNearestHalfPi)});
    EXPECT_NEAR(pose.avatarFront.z, -4.371139e-8f, 1e-13f);
    EXPECT_EQ(staticPose({.yaw = 180.0f}).avatarFront.z, -1.0f);
}

TEST(OrbitPose, CirclesTheAxisFacingItsCentre) {
    const Pose start = orbitPose({.y = 1.5f}, 0);
    // The front is (sin pi, 0, cos pi) with pi as a float: x about -8.74e-8.
    expectAvatar(start, {0.0f, 1.5f, 8.0f}, {std::sin(kPi), 0.0f, -1.0f});
    EXPECT_NEAR(start.avatarFront.x, -8.742278e-8f, 1e-13f);

    // One second at +-90 degrees/s: a quarter turn; a zero radius stays on the axis.
    const struct {
        float speed, radius, x, frontX;
    } cases[] = {{90.0f, 8.0f, 8.0f, -1.0f}, {-90.0f, 8.0f, -8.0f, 1.0f},
                 {90.0f, 0.0f, 0.0f, -1.0f}};
    for (const auto& c : cases) {
        const Pose pose = orbitPose({.radius = c.radius, .speed = c.speed}, 1'000'000'000);
        EXPECT_NEAR(pose.avatarPosition.x, c.x, 1e-5f) << c.speed << " " << c.radius;
        EXPECT_NEAR(pose.avatarPosition.z, 0.0f, 1e-5f);
        EXPECT_NEAR(pose.avatarFront.x, c.frontX, 1e-6f);
        EXPECT_NEAR(pose.avatarFront.z, 0.0f, 1e-6f);
        EXPECT_EQ(pose.cameraFront, pose.avatarFront);
    }
    EXPECT_EQ(orbitPose({.speed = 0.0f}, 10'000'000'000), orbitPose({}, 0));
    for (const std::int64_t elapsed : {20'000'000LL, 1'234'567'890LL, 3'600'000'000'000LL}) {
        EXPECT_EQ(orbitPose({.x = 100.0f, .z = -7.0f, .yaw = 33.0f}, elapsed),
                  orbitPose({}, elapsed))
            << "x, z and yaw play no part; " << elapsed;
    }
}

TEST(IsolationPose, PlacesEachIdentityOnItsGridPoint) {
    EXPECT_EQ(fnv1a64("foobar"), 0x85944171f73967e8ull);
    EXPECT_EQ(fnv1a64("\xFF"), 0xaf64724c8602eb6eull) << "bytes are unsigned";
    const struct {
        const char* identity;
        float ix, iz;
    } cases[] = {{"CorvaneTest", 651, 1}, {"", 805, 136}, {"a", 140, 123}, {"\xC3\xA9", 513, 519}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.identity);
        expectAvatar(isolationPose(c.identity),
                     {c.ix * 1000.0f + 50'000'000.0f, 0.0f, c.iz * 1000.0f + 50'000'000.0f},
                     {0.0f, 0.0f, 1.0f});
    }
}

TEST(LivePose, PutsEachMapInItsRegion) {
    const struct {
        std::uint32_t mapId;
        Vec3 position;
    } cases[] = {
        {0, {10.0f, 30.0f, 20.0f}},           {1, {250'010.0f, 30.0f, 20.0f}},
        {31, {7'750'010.0f, 30.0f, 20.0f}},   {32, {10.0f, 30.0f, 250'020.0f}},
        {571, {6'750'010.0f, 30.0f, 4'250'020.0f}}, {2000, {4'000'010.0f, 30.0f, 15'500'020.0f}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mapId);
        expectAvatar(livePose({.x = 10.0f, .y = 20.0f, .z = 30.0f, .mapId = c.mapId}, 1.0f),
                     c.position, {1.0f, 0.0f, 0.0f});
    }
    // Scaled in floats before the region is added; a wider sum would round to .578 and .109.
    const CharacterSnapshot far{.x = 764.0f, .y = 775.5f, .z = -2.0f, .mapId = 33};
    EXPECT_EQ(bits(livePose(far, 0.9144f).avatarPosition),
              bits({250'698.59375f, -1.8288f, 250'709.125f}));

    const Pose turned = livePose({.orientation = kNearestHalfPi}, 1.0f);
    expectAvatar(turned, {0.0f, 0.0f, 0.0f}, {std::cos(kNearestHalfPi), 0.0f, 1.0f});
    EXPECT_EQ(livePose({.orientation = kPi}, 1.0f).avatarFront.x, -1.0f);
}

}  // namespace
}  // namespace corvane
