#include "driver/poses.h"
#include "driver/presence.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <string>
#include <tuple>

namespace corvane {
namespace {

// Positions to the bit where `tolerance` is 0; the top is up and the camera is the avatar.
void expectPose(const Pose& actual, Vec3 p, Vec3 f, float tolerance, long row) {
    const auto a = std::bit_cast<std::array<float, 18>>(actual);
    const auto want = std::bit_cast<std::array<float, 18>>(Pose{p, f, {0, 1, 0}, p, f, {0, 1, 0}});
    for (int i = 0; i < 18; ++i) {
        EXPECT_NEAR(a[i], want[i], i % 9 < 3 ? tolerance : 1e-6f) << "row " << row << "/" << i;
    }
}

TEST(Poses, SyntheticIsolationAndLivePositions) {
    // (degrees * pi) / 180 in floats: other orders round 1 and 5 degrees differently.
    EXPECT_EQ(std::bit_cast<std::uint32_t>(degreesToRadians(1.0f)), 0x3C8EFA35u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(degreesToRadians(5.0f)), 0x3DB2B8C3u);
    constexpr std::int64_t kS = 1'000'000'000;  // one second
    const struct { Pose pose; Vec3 position, front = {0, 0, 1}; float tolerance = 0; } rows[] = {
        {staticPose({}), {0, 0, 1}}, {staticPose({.yaw = 180}), {0, 0, 1}, {0, 0, -1}},
        {staticPose({.x = -3.5f, .y = 2, .z = 1e6f, .yaw = 90}), {-3.5f, 2, 1e6f}, {1, 0, 0}},
        // Angles within a turn first: 2e38 as a float is 360 k + 256 degrees.
        {staticPose({.yaw = 2e38f}), {0, 0, 1}, {-0.9702957f, 0, -0.2419219f}},
        // Orbits: x, z and yaw play no part.
        {orbitPose({.y = 1.5f}, 0), {0, 1.5f, 8}, {0, 0, -1}},
        {orbitPose({.x = 9, .z = -7, .yaw = 33, .speed = 90}, kS), {8, 0, 0}, {-1, 0, 0}, 1e-5f},
        {orbitPose({.speed = -90}, kS), {-8, 0, 0}, {1, 0, 0}, 1e-5f},
        {orbitPose({.speed = 0}, 10 * kS), {0, 0, 8}, {0, 0, -1}},
        // 3e38 degrees a second is 360 k + 152 after one; 25 after a day and a second is 25.
        {orbitPose({.speed = 3e38f}, kS), {3.7557725f, 0, -7.0635807f}, {-0.4694716f, 0, 0.8829476f}, 1e-5f},
        {orbitPose({}, 86401 * kS), {3.3809461f, 0, 7.2504623f}, {-0.4226183f, 0, -0.9063078f}, 1e-5f},
        // Isolation grid points (ix, iz) -> (50,000,000 + 1000 ix, 0, 50,000,000 + 1000 iz).
        {isolationPose("CorvaneTest"), {50651000, 0, 50001000}}, {isolationPose(""), {50805000, 0, 50136000}},
        {isolationPose("a"), {50140000, 0, 50123000}}, {isolationPose("\xC3\xA9"), {50513000, 0, 50519000}},
        // Each map in a region 250,000 m apart, 32 to a row.
        {livePose({.x = 10, .y = 20, .z = 30}, 1), {10, 30, 20}, {1, 0, 0}},
        {livePose({.x = 10, .y = 20, .z = 30, .mapId = 31}, 1), {7750010, 30, 20}, {1, 0, 0}},
        {livePose({.x = 10, .y = 20, .z = 30, .mapId = 32}, 1), {10, 30, 250020}, {1, 0, 0}},
        {livePose({.x = 10, .y = 20, .z = 30, .mapId = 571}, 1), {6750010, 30, 4250020}, {1, 0, 0}},
        // Scaled in floats before the region is added; a wider sum rounds to .578 and .109.
        {livePose({.x = 764, .y = 775.5f, .z = -2, .mapId = 33}, 0.9144f),
         {250698.59375f, -1.8288f, 250709.125f}, {1, 0, 0}},
        {livePose({.orientation = 1.57079637f}, 1), {0, 0, 0}, {0, 0, 1}},
    };
    for (const auto& r : rows) expectPose(r.pose, r.position, r.front, r.tolerance, &r - rows);
}

TEST(PresenceTracker, PlacesFromTheFifthConsecutiveInWorldReadOn) {
    const Vec3 isolated{50651000, 0, 50001000}, placed{10, 30, 20};  // "CorvaneTest"; scale 1
    PresenceTracker tracker(isolationPose("CorvaneTest"));
    const CharacterSnapshot snapshot{.x = 10, .y = 20, .z = 30, .connectionState = 1};
    const std::string gone = "The local player was not found.", entering = "entering world";
    const std::string failed = "Could not read g_ClientConnectionState.", off = "not in world";
    using enum ReadStatus;
    // (read, reader's error text, label, in-world count; placed from 5 on)
    const std::tuple<ReadStatus, std::string, std::string, int> steps[] = {
        {InWorld, "", entering, 1}, {InWorld, "", entering, 2}, {NotInWorld, gone, off, 0},
        {InWorld, "", entering, 1}, {InWorld, "", entering, 2}, {InWorld, "", entering, 3},
        {InWorld, "", entering, 4}, {InWorld, "", off, 5}, {InWorld, "", off, 5},
        {ReadError, failed, failed, 0}, {InWorld, gone, entering, 1}, {ReadError, "", off, 0},
    };
    for (const auto& step : steps) {
        const auto& [status, readerError, label, n] = step;
        const auto got = tracker.step(status, snapshot, readerError, {.wowScale = 1});
        EXPECT_EQ(std::tuple(got.isolated, got.pose.avatarPosition, got.label, tracker.inWorldCount()),
                  std::tuple(n < 5, n < 5 ? isolated : placed, label, n)) << "step " << &step - steps;
    }
    // Placed from the current snapshot at the scale given: map 1 at half size.
    for (int i = 0; i < 5; ++i) tracker.step(InWorld, snapshot, "", {});
    const auto half = tracker.step(InWorld, {.x = 10, .mapId = 1}, "", {.wowScale = 0.5f});
    EXPECT_EQ(half.pose.avatarPosition, (Vec3{250005, 0, 0}));
    // A scale that makes the position overflow isolates the character instead.
    const auto far = tracker.step(InWorld, {.x = 99999}, "", {.wowScale = 3e38f});
    EXPECT_EQ(std::tuple(far.isolated, far.pose.avatarPosition, far.label),
              std::tuple(true, isolated, std::string("The position scaled by --wow-scale is too large.")));
}

}  // namespace
}  // namespace corvane
