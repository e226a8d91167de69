#include "driver/presence.h"

#include "driver/poses.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane {
namespace {

TEST(PresenceTracker, PlacesOnlyFromTheFifthConsecutiveInWorldRead) {
    const Pose isolation = isolationPose("CorvaneTest");
    PresenceTracker tracker(isolation);
    const CharacterSnapshot snapshot{.x = 10.0f, .y = 20.0f, .z = 30.0f, .connectionState = 1};
    const BridgeOptions options{.wowScale = 1.0f};
    const Pose placed = livePose(snapshot, 1.0f);

    const std::string stale = "The local player was not found.";
    const std::string readFailed = "Could not read g_ClientConnectionState.";
    const auto in = ReadStatus::InWorld;
    const auto out = ReadStatus::NotInWorld;
    const auto error = ReadStatus::ReadError;
    const struct {
        ReadStatus status;
        std::string readerError;
        const char* label;
        int count;  // placed from 5 on
    } steps[] = {
        {in, "", "entering world", 1},   {in, "", "entering world", 2},
        {in, "", "entering world", 3},   {in, "", "entering world", 4},
        {out, stale, "not in world", 0}, {in, "", "entering world", 1},
        {in, "", "entering world", 2},   {in, "", "entering world", 3},
        {in, "", "entering world", 4},   {in, "", "not in world", 5},
        {in, "", "not in world", 5},     {error, readFailed, readFailed.c_str(), 0},
        {out, "", "not in world", 0},    {error, "", "not in world", 0},
        {in, stale, "entering world", 1},
    };
    int cycle = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE("cycle " + std::to_string(++cycle));
        const PresenceOutcome outcome = tracker.step(s.status, snapshot, s.readerError, options);
        const bool isPlaced = s.count >= 5;
        EXPECT_EQ(outcome.isolated, !isPlaced);
        EXPECT_EQ(outcome.pose, isPlaced ? placed : isolation);
        EXPECT_EQ(outcome.label, s.label);
        EXPECT_EQ(tracker.inWorldCount(), s.count);
    }
}

TEST(PresenceTracker, PlacesTheCurrentSnapshotAtTheGivenScale) {
    PresenceTracker tracker(isolationPose("CorvaneTest"));
    CharacterSnapshot snapshot;
    for (int i = 0; i < 5; ++i) tracker.step(ReadStatus::InWorld, snapshot, "", {});
    snapshot = {.x = 10.0f, .y = 20.0f, .z = 30.0f, .mapId = 1};
    const PresenceOutcome outcome =
        tracker.step(ReadStatus::InWorld, snapshot, "", {.wowScale = 0.5f});
    EXPECT_FALSE(outcome.isolated);
    EXPECT_EQ(outcome.pose.avatarPosition, (Vec3{250'005.0f, 15.0f, 10.0f}));
}

}  // namespace
}  // namespace corvane
