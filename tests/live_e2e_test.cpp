// The real bridge in live mode against the fake game client, observed from
// outside: the status lines it prints and the record it publishes while the
// game's memory changes under it.

#include "driver/poses.h"
#include "driver/status_line.h"
#include "game/character_snapshot.h"
#include "game/game_reader.h"
#include "link/linked_mem.h"
#include "link/shared_memory.h"
#include "tests/support/child_process.h"
#include "tests/support/link_probe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <numbers>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace corvane::testing {
namespace {

using namespace std::chrono_literals;

// Generous: a loaded machine, or wine starting its first process.
constexpr auto kStartTimeout = 15s;
constexpr auto kStepTimeout = 5s;
constexpr auto kExitTimeout = 10s;
constexpr float kScale = 0.9144f;
constexpr char kContext[] = "CORVANE:WORLD:E2E";
constexpr char kPadding[] = "          ";
constexpr std::uint64_t kFakeModuleBase = 0x400000;

// "%a" gives every float back exactly through strtof, NaN and infinities too.
std::string floatText(float value) {
    char text[64];
    std::snprintf(text, sizeof text, "%a", static_cast<double>(value));
    return text;
}

std::string hexText(std::uint64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(value));
    return text;
}

// A character in the world, as the bridge's snapshot shows it.
CharacterSnapshot walker() {
    CharacterSnapshot c;
    c.x = 1234.5f;
    c.y = -567.25f;
    c.z = 89.125f;
    c.orientation = std::numbers::pi_v<float> / 2;
    c.mapId = 571;
    c.guid = 0x0700000000ABCDEFull;
    c.connectionState = 1;
    return c;
}

std::string posCommand(float x, float y, float z, float orientation) {
    return "pos " + floatText(x) + " " + floatText(y) + " " + floatText(z) + " " +
           floatText(orientation);
}

Pose poseOf(const LinkedMem& record) {
    Pose pose;
    std::memcpy(&pose.avatarPosition, record.fAvatarPosition, 3 * sizeof(Vec3));
    std::memcpy(&pose.cameraPosition, record.fCameraPosition, 3 * sizeof(Vec3));
    return pose;
}

std::string describe(const Pose& pose) {
    std::ostringstream text;
    const Vec3* parts = &pose.avatarPosition;
    for (int i = 0; i < 6; ++i) {
        text << (i == 0 ? "(" : " (") << parts[i].x << ", " << parts[i].y << ", " << parts[i].z
             << ")";
    }
    return text.str();
}

::testing::AssertionResult hasPose(const LinkedMem& record, const Pose& expected) {
    const Pose actual = poseOf(record);
    if (actual == expected) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "uiTick " << record.uiTick << " holds "
                                         << describe(actual) << " instead of "
                                         << describe(expected);
}

bool hasIdentity(const LinkedMem& record, std::string_view identity) {
    for (std::size_t i = 0; i < identity.size(); ++i) {
        if (record.identity[i] != static_cast<unsigned char>(identity[i])) return false;
    }
    return record.identity[identity.size()] == 0;
}

// The status lines printed so far that are complete, each with its leading
// carriage return (the last one is complete once its padding has arrived).
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

// The fake game client, steered over its standard input.
class FakeGame {
public:
    ::testing::AssertionResult start() {
        // Named Wow.exe everywhere, so the suffix is added only where it is missing.
        std::string path = siblingProgram("Wow");
        if (!path.ends_with(".exe")) path += ".exe";
        std::string error;
        if (!process_.start({path}, error)) return ::testing::AssertionFailure() << error;
        const std::string line = nextLine(kStartTimeout);
        if (line == "ready") return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "The fake game said \"" << line
                                             << "\" instead of \"ready\"; "
                                             << process_.errorOutput();
    }

    // Sends one command and returns its answer line.
    std::string ask(const std::string& command) {
        if (!post(command)) return "(not sent)";
        return nextLine(kStepTimeout);
    }

    ::testing::AssertionResult send(const std::string& command) {
        const std::string answer = ask(command);
        if (answer == "ok") return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << command << ": " << answer;
    }

    ::testing::AssertionResult send(std::initializer_list<std::string> commands) {
        for (const std::string& command : commands) {
            if (auto result = send(command); !result) return result;
        }
        return ::testing::AssertionSuccess();
    }

    // The character in the world, among `count` objects with the player at `index`.
    ::testing::AssertionResult enterWorld(const CharacterSnapshot& c, std::uint32_t count,
                                          std::uint32_t index) {
        return send({posCommand(c.x, c.y, c.z, c.orientation), "map " + std::to_string(c.mapId),
                     "guid " + hexText(c.guid),
                     "list " + std::to_string(count) + " " + std::to_string(index), "state 1"});
    }

    // For commands whose answer is awaited by hand.
    bool post(const std::string& command) { return process_.writeInput(command + "\n"); }
    bool hasAnswer() const { return process_.output().find('\n', consumed_) != std::string::npos; }
    std::string nextLine(std::chrono::milliseconds timeout) {
        const auto answered = [this](const std::string& out) {
            return out.find('\n', consumed_) != std::string::npos;
        };
        const bool got = process_.waitForOutput(answered, timeout);
        if (!got) return "(no answer)";
        const std::string out = process_.output();
        const std::size_t end = out.find('\n', consumed_);
        std::string line = out.substr(consumed_, end - consumed_);
        consumed_ = end + 1;
        if (line.ends_with('\r')) line.pop_back();
        return line;
    }

    ChildProcess& process() { return process_; }

private:
    ChildProcess process_;
    std::size_t consumed_ = 0;
};

class Bridge {
public:
    ::testing::AssertionResult start(const std::string& identity, LinkProbe& probe) {
        std::string error;
        if (!process_.start({siblingProgram("CorvaneVoiceBridge"), "--wow", "--identity", identity,
                             "--context", kContext},
                            error)) {
            return ::testing::AssertionFailure() << error;
        }
        // The bridge makes the link; open it as soon as it is there.
        const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
        while (!probe.open(error)) {
            if (!process_.running()) {
                return ::testing::AssertionFailure()
                       << "The bridge ended early: " << process_.errorOutput();
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                return ::testing::AssertionFailure() << error;
            }
            std::this_thread::sleep_for(2ms);
        }
        const auto first = probe.waitFor(
            [&](const LinkedMem& r) { return r.uiTick >= 1 && hasIdentity(r, identity); },
            kStartTimeout);
        if (first) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "No frame of " << identity << " was published.";
    }

    std::vector<std::string> lines() const { return completeLines(process_.output()); }

    // Waits for `count` complete status lines; returns those there are.
    std::vector<std::string> awaitLines(std::size_t count) const {
        process_.waitForOutput(
            [count](const std::string& out) { return completeLines(out).size() >= count; },
            kStepTimeout);
        return lines();
    }

    // Waits for a status line equal to `expected` among those after the first `skip`.
    ::testing::AssertionResult awaitLine(const std::string& expected, std::size_t skip) const {
        const auto found = [&](const std::string& out) {
            const std::vector<std::string> all = completeLines(out);
            for (std::size_t i = skip; i < all.size(); ++i) {
                if (all[i] == expected) return true;
            }
            return false;
        };
        if (process_.waitForOutput(found, kStepTimeout)) return ::testing::AssertionSuccess();
        const std::vector<std::string> all = lines();
        return ::testing::AssertionFailure()
               << "No status line \"" << expected << "\"; the last one is \""
               << (all.empty() ? "" : all.back()) << "\"";
    }

    // SIGINT where other processes can be sent one, and it must end the run
    // with 0; elsewhere the bridge is simply ended.
    void stop() {
        if (process_.interrupt()) {
            EXPECT_EQ(process_.wait(kExitTimeout), 0);
        } else {
            process_.kill();
            EXPECT_TRUE(process_.wait(kExitTimeout));
        }
        EXPECT_EQ(process_.errorOutput(), "");
        // The last line stays as it was, without a line feed.
        EXPECT_TRUE(process_.output().ends_with(kPadding));
    }

    ChildProcess& process() { return process_; }

private:
    ChildProcess process_;
};

std::optional<LinkedMem> awaitTick(const LinkProbe& probe, std::uint32_t tick) {
    return probe.waitFor([tick](const LinkedMem& r) { return r.uiTick >= tick; }, kStepTimeout);
}

std::optional<LinkedMem> awaitPose(const LinkProbe& probe, const Pose& expected) {
    return probe.waitFor([&](const LinkedMem& r) { return poseOf(r) == expected; }, kStepTimeout);
}

class LiveBridgeTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Where the record outlives its users, no frame of an earlier run may
        // be taken for a new one.
        removeSharedMemory(kLinkName);
        GameReader reader;
        ASSERT_FALSE(reader.attach(L"Wow.exe")) << "Another Wow.exe is running.";
    }
    void TearDown() override { removeSharedMemory(kLinkName); }
};

TEST_F(LiveBridgeTest, ReaderFindsTheFakeByNameAndReadsItFromItsModuleBase) {
    FakeGame game;
    ASSERT_TRUE(game.start());
    ASSERT_EQ(game.ask("base"), "ok 0x400000");
    CharacterSnapshot c = walker();
    c.orientation = -0x1.8p-140f;  // subnormal: only a bit-exact copy shows it
    ASSERT_TRUE(game.enterWorld(c, 12, 7));

    GameReader reader;
    ASSERT_TRUE(reader.attach(L"wow.EXE")) << reader.lastError();
    EXPECT_EQ(reader.processId(), game.process().id());
    EXPECT_EQ(reader.moduleBase(), kFakeModuleBase);
    CharacterSnapshot read;
    ASSERT_EQ(reader.readCharacter(read), ReadStatus::InWorld) << reader.lastError();
    EXPECT_GT(read.playerObject, read.objectManager);
    c.playerObject = read.playerObject;
    c.objectManager = read.objectManager;
    EXPECT_EQ(read, c);
}

TEST_F(LiveBridgeTest, GlueScreenIsolatesTheCharacterAndSaysNotInWorld) {
    FakeGame game;
    ASSERT_TRUE(game.start());  // it starts on the glue screen
    Bridge bridge;
    LinkProbe probe;
    ASSERT_TRUE(bridge.start("CorvaneTest", probe));

    const Pose isolation = isolationPose("CorvaneTest");
    const auto record = awaitTick(probe, 2);
    ASSERT_TRUE(record);
    EXPECT_TRUE(hasPose(*record, isolation));
    const std::vector<std::string> lines = bridge.awaitLines(2);
    ASSERT_GE(lines.size(), 2u);
    const std::string expected =
        "\rOFFLINE/GLUE SCREEN | isolated | not in world | Mumble=(50651000, 0, 50001000)" +
        std::string(kPadding);
    EXPECT_EQ(lines[0], expected);
    EXPECT_EQ(lines[1], formatOfflineStatus("not in world", isolation.avatarPosition));
    EXPECT_TRUE(bridge.process().output().starts_with('\r'));
    bridge.stop();
}

TEST_F(LiveBridgeTest, CharacterAlreadyInTheWorldIsEnteringFirstThenOnline) {
    FakeGame game;
    ASSERT_TRUE(game.start());
    const CharacterSnapshot c = walker();
    ASSERT_TRUE(game.enterWorld(c, 12, 7));
    Bridge bridge;
    LinkProbe probe;
    ASSERT_TRUE(bridge.start("Walker", probe));

    // When each line is first seen, polling about every millisecond.
    std::vector<std::string> lines;
    std::chrono::steady_clock::time_point seen[2];
    const auto deadline = std::chrono::steady_clock::now() + kStepTimeout;
    while (lines.size() < 2 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
        const std::size_t before = lines.size();
        lines = bridge.lines();
        for (std::size_t i = before; i < lines.size() && i < 2; ++i) {
            seen[i] = std::chrono::steady_clock::now();
        }
    }
    ASSERT_GE(lines.size(), 2u);
    const Pose live = livePose(c, kScale);
    EXPECT_EQ(lines[0],
              formatOfflineStatus("entering world", isolationPose("Walker").avatarPosition));
    EXPECT_EQ(lines[1], formatOnlineStatus(c, live.avatarPosition));
    // 250 ms apart, less the time the first line may have waited to be seen.
    EXPECT_GE(seen[1] - seen[0], 200ms);
    const std::optional<LinkedMem> record = probe.read();
    ASSERT_TRUE(record);
    EXPECT_TRUE(hasPose(*record, live));
    bridge.stop();
}

// On the glue screen a cycle reads the state byte and publishes at once, so
// a frame seen before the command was sent had not seen the change, and
// neither had one seen when the answer came unless it was published between
// sending and answering; the first in-world frame is the next one. The
// command is sent just after a frame, so that is rarely ambiguous.
TEST_F(LiveBridgeTest, EnteringTheWorldPlacesTheCharacterOnTheFifthInWorldFrame) {
    FakeGame game;
    ASSERT_TRUE(game.start());
    const CharacterSnapshot c = walker();
    ASSERT_TRUE(game.enterWorld(c, 12, 7));
    ASSERT_TRUE(game.send("state 0"));
    Bridge bridge;
    LinkProbe probe;
    ASSERT_TRUE(bridge.start("Latecomer", probe));
    const Pose live = livePose(c, kScale);

    const auto settled = awaitTick(probe, 3);
    ASSERT_TRUE(settled);
    const auto fresh = awaitTick(probe, settled->uiTick + 1);
    ASSERT_TRUE(fresh);
    const std::uint32_t tickBefore = fresh->uiTick;
    ASSERT_TRUE(game.post("state 1"));

    std::optional<std::uint32_t> tickWithAnswer;
    std::uint32_t previousTick = tickBefore;
    std::optional<LinkedMem> placed;
    const auto deadline = std::chrono::steady_clock::now() + kStepTimeout;
    while (!placed && std::chrono::steady_clock::now() < deadline) {
        const bool answered = !tickWithAnswer && game.hasAnswer();
        const std::optional<LinkedMem> record = probe.read();
        if (!record) continue;
        if (answered) tickWithAnswer = record->uiTick;
        if (poseOf(*record) == live) {
            placed = record;
        } else {
            previousTick = record->uiTick;
            std::this_thread::sleep_for(1ms);
        }
    }
    EXPECT_EQ(game.nextLine(kStepTimeout), "ok");
    ASSERT_TRUE(placed) << "never placed";
    ASSERT_TRUE(tickWithAnswer) << "placed before the answer came";
    // The first in-world frame lies in [tickBefore + 1, tickWithAnswer + 1];
    // frames missed between two polls put the first placed one in
    // (previousTick, placed].
    SCOPED_TRACE("sent after frame " + std::to_string(tickBefore) + ", answered by frame " +
                 std::to_string(*tickWithAnswer) + ", placed in (" + std::to_string(previousTick) +
                 ", " + std::to_string(placed->uiTick) + "]");
    EXPECT_GE(placed->uiTick, tickBefore + 5);
    EXPECT_LE(previousTick + 1, *tickWithAnswer + 5);
}

TEST_F(LiveBridgeTest, EveryMapHasARegionOfItsOwn) {
    FakeGame game;
    ASSERT_TRUE(game.start());
    CharacterSnapshot c = walker();
    c.mapId = 0;
    ASSERT_TRUE(game.enterWorld(c, 12, 7));
    Bridge bridge;
    LinkProbe probe;
    ASSERT_TRUE(bridge.start("Traveller", probe));
    const Pose home = livePose(c, kScale);
    ASSERT_TRUE(awaitPose(probe, home));

    const Pose isolation = isolationPose("Traveller");
    for (const std::uint32_t mapId : {1u, 32u, 571u, 2000u, 0u}) {
        SCOPED_TRACE("map " + std::to_string(mapId));
        c.mapId = mapId;
        const Pose live = livePose(c, kScale);
        const std::size_t skip = bridge.lines().size();
        ASSERT_TRUE(game.send("map " + std::to_string(mapId)));
        bool isolated = false;
        const auto record = probe.waitFor(
            [&](const LinkedMem& r) {
                isolated = isolated || poseOf(r) == isolation;
                return poseOf(r) == live;
            },
            kStepTimeout);
        ASSERT_TRUE(record);
        EXPECT_FALSE(isolated) << "a map change took the character out of the world";
        EXPECT_NEAR(live.avatarPosition.x - home.avatarPosition.x, (mapId % 32) * 250000.0, 1.0);
        EXPECT_NEAR(live.avatarPosition.z - home.avatarPosition.z, (mapId / 32) * 250000.0, 1.0);
        EXPECT_EQ(live.avatarPosition.y, home.avatarPosition.y);
        EXPECT_TRUE(bridge.awaitLine(formatOnlineStatus(c, live.avatarPosition), skip));
    }
    bridge.stop();
}

// Each fault isolates the character with the reader's reason, or with "not
// in world" where the game is taken as out of the world (the lookup's own
// message never shows); undoing it places the character again.
TEST_F(LiveBridgeTest, FaultsIsolateWithTheirReasonAndClearWhenUndone) {
    const CharacterSnapshot c = walker();
    const std::string goodPos = posCommand(c.x, c.y, c.z, c.orientation);
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    constexpr char kInvalid[] = "Position data failed validation.";
    const struct {
        const char* name;
        std::string fault;
        std::string undo;
        const char* label;
    } faults[] = {
        {"coordinate 100000", posCommand(100000.0f, c.y, c.z, c.orientation), goodPos, kInvalid},
        {"coordinate -100000", posCommand(c.x, -100000.0f, c.z, c.orientation), goodPos, kInvalid},
        {"infinite height", posCommand(c.x, c.y, -inf, c.orientation), goodPos, kInvalid},
        {"NaN orientation", posCommand(c.x, c.y, c.z, nan), goodPos, kInvalid},
        {"map 2001", "map 2001", "map 571", "Could not read a plausible map ID."},
        {"map 0xFFFFFFFF", "map 0xFFFFFFFF", "map 571", "Could not read a plausible map ID."},
        {"player not listed", "list 12 12", "list 12 7", "not in world"},
        {"empty list", "list 0 0", "list 12 7", "not in world"},
        {"no client connection", "connection 0", "connection 1", "not in world"},
        {"local GUID 0", "guid 0", "guid " + hexText(c.guid), "not in world"},
        {"glue screen", "state 0", "state 1", "not in world"},
        {"state 255", "state 255", "state 1", "not in world"},
    };

    FakeGame game;
    ASSERT_TRUE(game.start());
    ASSERT_TRUE(game.enterWorld(c, 12, 7));
    Bridge bridge;
    LinkProbe probe;
    ASSERT_TRUE(bridge.start("Faulty", probe));
    const Pose live = livePose(c, kScale);
    const Pose isolation = isolationPose("Faulty");

    for (const auto& f : faults) {
        SCOPED_TRACE(f.name);
        ASSERT_TRUE(awaitPose(probe, live));
        const std::size_t skip = bridge.lines().size();
        ASSERT_TRUE(game.send(f.fault));
        EXPECT_TRUE(awaitPose(probe, isolation));
        EXPECT_TRUE(
            bridge.awaitLine(formatOfflineStatus(f.label, isolation.avatarPosition), skip));
        ASSERT_TRUE(game.send(f.undo));
    }
    ASSERT_TRUE(awaitPose(probe, live));
    bridge.stop();
}

TEST_F(LiveBridgeTest, GameThatEndsLeavesTheBridgeRunningIsolated) {
    FakeGame game;
    ASSERT_TRUE(game.start());
    const CharacterSnapshot c = walker();
    ASSERT_TRUE(game.enterWorld(c, 12, 7));
    Bridge bridge;
    LinkProbe probe;
    ASSERT_TRUE(bridge.start("Survivor", probe));
    ASSERT_TRUE(awaitPose(probe, livePose(c, kScale)));

    const std::size_t skip = bridge.lines().size();
    game.process().kill();
    ASSERT_TRUE(game.process().wait(kExitTimeout));
    const Pose isolation = isolationPose("Survivor");
    const auto isolated = awaitPose(probe, isolation);
    ASSERT_TRUE(isolated);
    EXPECT_TRUE(bridge.awaitLine(
        formatOfflineStatus("Could not read g_ClientConnectionState.", isolation.avatarPosition),
        skip));
    // Still publishing.
    const auto later = awaitTick(probe, isolated->uiTick + 5);
    ASSERT_TRUE(later);
    EXPECT_TRUE(hasPose(*later, isolation));
    EXPECT_TRUE(bridge.process().running());
    bridge.stop();
}

// 8192 objects is as far as the lookup walks. Cross-process reads under wine
// are too slow for lists this long, so they are walked only where reads are
// native.
TEST_F(LiveBridgeTest, PlayerIsFoundAsObject8192ButNotAs8193) {
    FakeGame game;
    ASSERT_TRUE(game.start());
    if (game.ask("platform") == "ok wine") GTEST_SKIP() << "Reads under wine are too slow.";
    const CharacterSnapshot c = walker();
    ASSERT_TRUE(game.enterWorld(c, 8192, 8191));
    Bridge bridge;
    LinkProbe probe;
    ASSERT_TRUE(bridge.start("Needle", probe));
    const Pose live = livePose(c, kScale);
    ASSERT_TRUE(awaitPose(probe, live));
    EXPECT_TRUE(bridge.awaitLine(formatOnlineStatus(c, live.avatarPosition), 0));

    const Pose isolation = isolationPose("Needle");
    const std::size_t skip = bridge.lines().size();
    ASSERT_TRUE(game.send("list 8193 8192"));
    EXPECT_TRUE(awaitPose(probe, isolation));
    EXPECT_TRUE(
        bridge.awaitLine(formatOfflineStatus("not in world", isolation.avatarPosition), skip));
    bridge.stop();
}

}  // namespace
}  // namespace corvane::testing
