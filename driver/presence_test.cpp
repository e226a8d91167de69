#include "driver/presence.h"

#include "driver/poses.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvane {
namespace {

class PresenceTest : public ::testing::Test {
protected:
    PresenceTest() : isolation_(isolationPose("CorvaneTest")), tracker_(isolation_) {
        snapshot_.x = 10.0f;
        snapshot_.y = 20.0f;
        snapshot_.z = 30.0f;
        snapshot_.connectionState = 1;
        options_.wowScale = 1.0f;
    }

    PresenceOutcome step(ReadStatus status, const std::string& readerError = "") {
        return tracker_.step(status, snapshot_, readerError, options_);
    }

    Pose isolation_;
    PresenceTracker tracker_;
    CharacterSnapshot snapshot_;
    BridgeOptions options_;
};

TEST_F(PresenceTest, PlacesOnlyFromTheFifthConsecutiveInWorldRead) {
    const std::string stale = "The local player was not found.";
    const std::string readFailed = "Could not read g_ClientConnectionState.";
    struct Step {
        ReadStatus status;
        std::string readerError;
        bool placed;
        const char* label;  // when isolated
        int count;
    };
    const auto in = ReadStatus::InWorld;
    const std::vector<Step> steps = {
        {in, "", false, "entering world", 1},
        {in, "", false, "entering world", 2},
        {in, "", false, "entering world", 3},
        {in, "", false, "entering world", 4},
        {ReadStatus::NotInWorld, stale, false, "not in world", 0},
        {in, "", false, "entering world", 1},
        {in, "", false, "entering world", 2},
        {in, "", false, "entering world", 3},
        {in, "", false, "entering world", 4},
        {in, "", true, "", 5},
        {in, "", true, "", 5},
        {ReadStatus::ReadError, readFailed, false, readFailed.c_str(), 0},
        {ReadStatus::NotInWorld, "", false, "not in world", 0},
        {ReadStatus::ReadError, "", false, "not in world", 0},
        {in, stale, false, "entering world", 1},
    };
    const Pose placed = livePose(snapshot_, 1.0f);
    EXPECT_EQ(placed.avatarPosition, (Vec3{10.0f, 30.0f, 20.0f}));
    for (std::size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE("cycle " + std::to_string(i + 1));
        const Step& s = steps[i];
        const PresenceOutcome outcome = step(s.status, s.readerError);
        EXPECT_EQ(outcome.isolated, !s.placed);
        EXPECT_EQ(outcome.pose, s.placed ? placed : isolation_);
        if (!s.placed) {
            EXPECT_EQ(outcome.label, s.label);
        }
        EXPECT_EQ(tracker_.inWorldCount(), s.count);
    }
}

TEST_F(PresenceTest, PlacedCharacterFollowsTheSnapshotAndScale) {
    for (int i = 0; i < 5; ++i) step(ReadStatus::InWorld);
    options_.wowScale = 0.5f;
    snapshot_.mapId = 1;
    const PresenceOutcome outcome = step(ReadStatus::InWorld);
    EXPECT_FALSE(outcome.isolated);
    EXPECT_EQ(outcome.pose.avatarPosition, (Vec3{250'005.0f, 15.0f, 10.0f}));
}

TEST_F(PresenceTest, CountStopsAtFive) {
    for (int i = 0; i < 10000; ++i) {
        step(ReadStatus::InWorld);
        ASSERT_LE(tracker_.inWorldCount(), 5);
    }
    EXPECT_EQ(tracker_.inWorldCount(), 5);
    EXPECT_FALSE(step(ReadStatus::InWorld).isolated);
}

}  // namespace
}  // namespace corvane
