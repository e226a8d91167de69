// The real bridge in live mode against the fake game client, observed from
// outside: the status lines it prints and the record it publishes while the
// game's memory changes under it.

#include "driver/poses.h"
#include "driver/status_line.h"
#include "game/game_reader.h"
#include "tests/support/programs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

namespace corvane::testing {
namespace {

using namespace std::chrono_literals;

constexpr float kScale = 0.9144f;
constexpr char kPadding[] = "          ";

// "%a" gives every float back exactly through strtof, NaN and infinities too.
std::string posCommand(float x, float y, float z, float o) {
    char text[160];
    std::snprintf(text, sizeof text, "pos %a %a %a %a", double{x}, double{y}, double{z}, double{o});
    return text;
}

const CharacterSnapshot kWalker{.x = 1234.5f, .y = -567.25f, .z = 89.125f,
                                .orientation = std::numbers::pi_v<float> / 2,
                                .guid = 0x0700000000ABCDEFull, .mapId = 571, .connectionState = 1};
constexpr char kWalkerGuid[] = "guid 700000000ABCDEF";

Pose poseOf(const LinkedMem& record) {
    Pose pose;
    std::memcpy(&pose.avatarPosition, record.fAvatarPosition, 3 * sizeof(Vec3));
    std::memcpy(&pose.cameraPosition, record.fCameraPosition, 3 * sizeof(Vec3));
    return pose;
}

// The complete status lines so far, each with its leading carriage return
// (the last one is complete once its padding has come).
std::vector<std::string> completeLines(const std::string& output) {
    std::vector<std::string> lines;
    for (std::size_t at = output.find('\r'); at != std::string::npos;) {
        const std::size_t next = output.find('\r', at + 1);
        std::string line = output.substr(at, next == std::string::npos ? next : next - at);
        if (next != std::string::npos || line.ends_with(kPadding)) lines.push_back(line);
        at = next;
    }
    return lines;
}

class LiveBridgeTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Where the record outlives its users, no frame of an earlier run may
        // pass for a new one.
        removeSharedMemory(kLinkName);
        ASSERT_FALSE(GameReader().attach(L"Wow.exe")) << "Another Wow.exe is running.";
        ASSERT_TRUE(game.start());  // on the glue screen
    }
    void TearDown() override { removeSharedMemory(kLinkName); }

    // Puts the walker, moved to `c`, into the world among `count` objects, the
    // player at `index`.
    ::testing::AssertionResult enterWorld(const CharacterSnapshot& c, std::uint32_t count = 12,
                                          std::uint32_t index = 7) {
        return game.send({posCommand(c.x, c.y, c.z, c.orientation),
                          "map " + std::to_string(c.mapId), kWalkerGuid,
                          "list " + std::to_string(count) + " " + std::to_string(index),
                          "state 1"});
    }

    ::testing::AssertionResult startBridge(const std::string& identity) {
        return testing::startBridge(bridge, probe,
                                    {"--wow", "--identity", identity, "--context", "CORVANE:E2E"});
    }

    std::size_t lineCount() { return completeLines(bridge.output()).size(); }

    // Waits for a status line equal to `expected` after the first `skip`.
    ::testing::AssertionResult awaitLine(const std::string& expected, std::size_t skip) {
        const auto found = [&](const std::string& out) {
            const std::vector<std::string> lines = completeLines(out);
            return std::find(lines.begin() + std::min(skip, lines.size()), lines.end(),
                             expected) != lines.end();
        };
        if (bridge.waitForOutput(found, kStepTimeout)) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "No status line \"" << expected << "\" in \"" << bridge.output() << "\"";
    }

    std::optional<LinkedMem> awaitPose(const Pose& pose) {
        return probe.waitFor([&](const LinkedMem& r) { return poseOf(r) == pose; }, kStepTimeout);
    }

    std::optional<LinkedMem> awaitTick(std::uint32_t tick) {
        return probe.waitFor([tick](const LinkedMem& r) { return r.uiTick >= tick; },
                             kStepTimeout);
    }

    // The last status line stays as it was, without a line feed.
    void stop() {
        EXPECT_TRUE(stopBridge(bridge));
        EXPECT_TRUE(bridge.output().ends_with(kPadding));
    }

    FakeGame game;
    ChildProcess bridge;
    LinkProbe probe;
};

TEST_F(LiveBridgeTest, ReaderFindsTheFakeByNameAndReadsItFromItsModuleBase) {
    CharacterSnapshot c = kWalker;
    c.orientation = -0x1.8p-140f;  // subnormal: only a bit-exact copy keeps it
    ASSERT_TRUE(enterWorld(c));
    GameReader reader;
    ASSERT_TRUE(reader.attach(L"wow.EXE")) << reader.lastError();
    EXPECT_EQ(reader.processId(), game.process().id());
    EXPECT_EQ(reader.moduleBase(), 0x400000u);
    CharacterSnapshot read;
    ASSERT_EQ(reader.readCharacter(read), ReadStatus::InWorld) << reader.lastError();
    EXPECT_GT(read.playerObject, read.objectManager);
    c.playerObject = read.playerObject;
    c.objectManager = read.objectManager;
    EXPECT_EQ(read, c);
}

TEST_F(LiveBridgeTest, GlueScreenIsolatesTheCharacterAndSaysNotInWorld) {
    ASSERT_TRUE(startBridge("CorvaneTest"));
    EXPECT_TRUE(awaitPose(isolationPose("CorvaneTest")));
    const std::string line =
        "\rOFFLINE/GLUE SCREEN | isolated | not in world | Mumble=(50651000, 0, 50001000)" +
        std::string(kPadding);
    ASSERT_TRUE(bridge.waitForOutput(
        [&](const std::string& out) { return out.size() >= 2 * line.size(); }, kStepTimeout));
    EXPECT_EQ(bridge.output().substr(0, 2 * line.size()), line + line);
    stop();
}

TEST_F(LiveBridgeTest, CharacterAlreadyInTheWorldIsEnteringFirstThenOnline) {
    ASSERT_TRUE(enterWorld(kWalker));
    ASSERT_TRUE(startBridge("Walker"));
    const auto atLeast = [](std::size_t count) {
        return [count](const std::string& out) { return completeLines(out).size() >= count; };
    };
    ASSERT_TRUE(bridge.waitForOutput(atLeast(1), kStepTimeout));
    const auto firstSeen = std::chrono::steady_clock::now();
    ASSERT_TRUE(bridge.waitForOutput(atLeast(2), kStepTimeout));
    // 250 ms apart, less the time the first line may have waited to be seen.
    EXPECT_GE(std::chrono::steady_clock::now() - firstSeen, 200ms);
    const std::vector<std::string> lines = completeLines(bridge.output());
    const Pose live = livePose(kWalker, kScale);
    EXPECT_EQ(lines[0],
              formatOfflineStatus("entering world", isolationPose("Walker").avatarPosition));
    EXPECT_EQ(lines[1], formatOnlineStatus(kWalker, live.avatarPosition));
    const std::optional<LinkedMem> record = probe.read();
    ASSERT_TRUE(record);
    EXPECT_EQ(poseOf(*record), live);
    stop();
}

// On the glue screen a cycle reads the state byte and publishes at once, so
// a frame seen before the command went out had not seen the change, and
// neither had one seen when the answer came unless it was published in
// between: the first in-world frame lies in [sent + 1, answered + 1]. The
// command goes out just after a frame, so that is rarely ambiguous.
TEST_F(LiveBridgeTest, EnteringTheWorldPlacesTheCharacterOnTheFifthInWorldFrame) {
    ASSERT_TRUE(enterWorld(kWalker));
    ASSERT_TRUE(game.send({"state 0"}));
    ASSERT_TRUE(startBridge("Latecomer"));
    const Pose live = livePose(kWalker, kScale);
    const auto settled = awaitTick(3);
    ASSERT_TRUE(settled);
    const auto sent = awaitTick(settled->uiTick + 1);
    ASSERT_TRUE(sent);
    ASSERT_TRUE(game.post("state 1"));

    std::optional<std::uint32_t> answered;  // the frame seen once the answer had come
    std::uint32_t unplaced = sent->uiTick;  // the last frame seen unplaced
    std::optional<LinkedMem> placed;
    const auto deadline = std::chrono::steady_clock::now() + kStepTimeout;
    while (!placed && std::chrono::steady_clock::now() < deadline) {
        const bool hasAnswer = !answered && game.hasAnswer();
        const std::optional<LinkedMem> record = probe.read();
        if (!record) continue;
        if (hasAnswer) answered = record->uiTick;
        if (poseOf(*record) == live) {
            placed = record;
        } else {
            unplaced = record->uiTick;
            std::this_thread::sleep_for(1ms);
        }
    }
    EXPECT_EQ(game.nextLine(kStepTimeout), "ok");
    ASSERT_TRUE(placed) << "never placed";
    ASSERT_TRUE(answered) << "placed before the answer came";
    SCOPED_TRACE("sent after frame " + std::to_string(sent->uiTick) + ", answered by frame " +
                 std::to_string(*answered) + ", placed in (" + std::to_string(unplaced) + ", " +
                 std::to_string(placed->uiTick) + "]");
    EXPECT_GE(placed->uiTick, sent->uiTick + 5);
    EXPECT_LE(unplaced + 1, *answered + 5);
}

TEST_F(LiveBridgeTest, MapChangeMovesTheCharacterWithoutIsolatingIt) {
    CharacterSnapshot c = kWalker;
    c.mapId = 0;
    ASSERT_TRUE(enterWorld(c));
    ASSERT_TRUE(startBridge("Traveller"));
    ASSERT_TRUE(awaitPose(livePose(c, kScale)));
    const Pose isolation = isolationPose("Traveller");
    for (const std::uint32_t mapId : {1u, 32u, 2000u, 0u}) {
        SCOPED_TRACE("map " + std::to_string(mapId));
        c.mapId = mapId;
        const Pose live = livePose(c, kScale);
        const std::size_t skip = lineCount();
        ASSERT_TRUE(game.send({"map " + std::to_string(mapId)}));
        bool isolated = false;
        ASSERT_TRUE(probe.waitFor(
            [&](const LinkedMem& r) {
                isolated = isolated || poseOf(r) == isolation;
                return poseOf(r) == live;
            },
            kStepTimeout));
        EXPECT_FALSE(isolated);
        EXPECT_TRUE(awaitLine(formatOnlineStatus(c, live.avatarPosition), skip));
    }
    stop();
}

// Each fault isolates the character with the reader's reason, or with "not
// in world" where the game is taken as out of the world (the lookup's own
// message never shows); undoing it places the character again. The game's
// end is the last fault.
TEST_F(LiveBridgeTest, FaultsIsolateWithTheirReasonUntilUndone) {
    const CharacterSnapshot c = kWalker;
    const std::string goodPos = posCommand(c.x, c.y, c.z, c.orientation);
    constexpr char kInvalid[] = "Position data failed validation.";
    constexpr char kBadMap[] = "Could not read a plausible map ID.";
    const struct {
        std::string fault;
        std::string undo;
        const char* label;
    } faults[] = {
        {posCommand(100000.0f, c.y, c.z, c.orientation), goodPos, kInvalid},
        {posCommand(c.x, c.y, -std::numeric_limits<float>::infinity(), c.orientation), goodPos,
         kInvalid},
        {posCommand(c.x, c.y, c.z, std::numeric_limits<float>::quiet_NaN()), goodPos, kInvalid},
        {"map 2001", "map 571", kBadMap},
        {"map 0xFFFFFFFF", "map 571", kBadMap},
        {"list 12 12", "list 12 7", "not in world"},  // the player is not listed
        {"list 0 0", "list 12 7", "not in world"},
        {"connection 0", "connection 1", "not in world"},
        {"guid 0", kWalkerGuid, "not in world"},
        {"state 0", "state 1", "not in world"},
        {"state 255", "state 1", "not in world"},
    };
    ASSERT_TRUE(enterWorld(c));
    ASSERT_TRUE(startBridge("Faulty"));
    const Pose live = livePose(c, kScale);
    const Pose isolation = isolationPose("Faulty");
    for (const auto& f : faults) {
        SCOPED_TRACE(f.fault);
        ASSERT_TRUE(awaitPose(live));
        const std::size_t skip = lineCount();
        ASSERT_TRUE(game.send({f.fault}));
        EXPECT_TRUE(awaitPose(isolation));
        EXPECT_TRUE(awaitLine(formatOfflineStatus(f.label, isolation.avatarPosition), skip));
        ASSERT_TRUE(game.send({f.undo}));
    }
    ASSERT_TRUE(awaitPose(live));

    // A game that ends is gone for good; the bridge goes on publishing.
    const std::size_t skip = lineCount();
    game.process().kill();
    ASSERT_TRUE(game.process().wait(kExitTimeout));
    const auto isolated = awaitPose(isolation);
    ASSERT_TRUE(isolated);
    EXPECT_TRUE(awaitLine(
        formatOfflineStatus("Could not read g_ClientConnectionState.", isolation.avatarPosition),
        skip));
    const auto later = awaitTick(isolated->uiTick + 25);
    ASSERT_TRUE(later);
    EXPECT_TRUE(isRecordOf(*later, {isolation, "Faulty", "CORVANE:E2E"}));
    stop();
}

// 8192 objects is as far as the lookup walks. Cross-process reads under wine
// are too slow for lists this long, so they are walked only where reads are
// native.
TEST_F(LiveBridgeTest, PlayerIsFoundAsObject8192ButNotAs8193) {
    if (game.ask("platform") == "ok wine") GTEST_SKIP() << "Reads under wine are too slow.";
    ASSERT_TRUE(enterWorld(kWalker, 8192, 8191));
    ASSERT_TRUE(startBridge("Needle"));
    const Pose live = livePose(kWalker, kScale);
    ASSERT_TRUE(awaitPose(live));
    EXPECT_TRUE(awaitLine(formatOnlineStatus(kWalker, live.avatarPosition), 0));
    const Pose isolation = isolationPose("Needle");
    const std::size_t skip = lineCount();
    ASSERT_TRUE(game.send({"list 8193 8192"}));
    EXPECT_TRUE(awaitPose(isolation));
    EXPECT_TRUE(awaitLine(formatOfflineStatus("not in world", isolation.avatarPosition), skip));
    stop();
}

}  // namespace
}  // namespace corvane::testing
