// A player's evening with the real bridge: started before the game, the game
// killed and started again, two game clients at once, a second bridge, and a
// bridge killed outright.

#include "tests/support/programs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <string_view>
#include <thread>

namespace corvane::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Isolation points: 50,000,000 + 1000 × the bits 0-9 and 10-19 of the FNV-1a
// hash of the identity ("Evening": 79 and 265; "First": 929 and 166).
constexpr float kEveningIsolated[3] = {50'079'000.0f, 0.0f, 50'265'000.0f};

// The record's text as the probe decodes it, against ASCII.
template <typename Text>
bool sameText(const Text& text, std::string_view ascii) {
    std::size_t i = 0;
    for (const auto unit : text) {
        if (unit == 0) break;
        if (i == ascii.size() ||
            static_cast<char32_t>(unit) != static_cast<unsigned char>(ascii[i])) {
            return false;
        }
        ++i;
    }
    return i == ascii.size();
}

std::string withoutCr(std::string text) {
    std::erase(text, '\r');
    return text;
}

template <typename Record>
bool standsAt(const Record& r, const float (&at)[3]) {
    for (int i = 0; i < 3; ++i) {
        if (std::fabs(r.fAvatarPosition[i] - at[i]) > 0.01f) return false;
    }
    return true;
}

// In the world on map 0: link (x, y, z) = 0.9144 × game (x, z, y).
::testing::AssertionResult enterWorld(FakeGame& game, const char* gameXyz) {
    return game.send({std::string("pos ") + gameXyz + " 0", "map 0", "guid 2A", "list 3 1",
                      "state 1"});
}

class EveningTest : public ::testing::Test {
protected:
    void SetUp() override { removeSharedMemory(kLinkName); }
    void TearDown() override { removeSharedMemory(kLinkName); }

    bool awaitAt(const float (&at)[3], std::chrono::milliseconds timeout = kStepTimeout) {
        return probe.waitFor([&](const auto& r) { return standsAt(r, at); }, timeout).has_value();
    }
    bool awaitOutput(std::string_view text, std::size_t from = 0) {
        return bridge.waitForOutput(
            [&](const std::string& out) { return out.find(text, from) != std::string::npos; },
            kStepTimeout);
    }

    ChildProcess bridge;
    LinkProbe probe;
};

TEST_F(EveningTest, WaitsForTheGameAndFollowsItThroughARestart) {
    ASSERT_TRUE(startBridge(bridge, probe, {"--wow", "--wait", "--identity", "Evening"}));
    EXPECT_TRUE(awaitOutput("| waiting for Wow.exe |"));
    EXPECT_TRUE(awaitAt(kEveningIsolated));

    FakeGame first;
    ASSERT_TRUE(first.start());
    ASSERT_TRUE(enterWorld(first, "100 200 30"));
    EXPECT_TRUE(awaitAt({91.44f, 27.432f, 182.88f}));

    const std::size_t seen = bridge.output().size();
    first.process().kill();
    const auto killed = Clock::now();
    ASSERT_TRUE(awaitOutput("| waiting for Wow.exe |", seen));
    EXPECT_LT(Clock::now() - killed, 2500ms) << "the game's end is seen within about a second";
    EXPECT_TRUE(awaitAt(kEveningIsolated, 1ms));
    std::uint32_t tick = probe.read()->uiTick;
    for (int i = 0; i < 10; ++i) {  // the record goes on while nothing is read
        std::this_thread::sleep_for(100ms);
        const std::uint32_t now = probe.read()->uiTick;
        EXPECT_GT(now, tick);
        tick = now;
    }

    FakeGame second;
    ASSERT_TRUE(second.start());
    ASSERT_TRUE(enterWorld(second, "-300 50 10"));
    EXPECT_TRUE(awaitAt({-274.32f, 9.144f, 45.72f}));
    EXPECT_TRUE(stopBridge(bridge));
}

TEST_F(EveningTest, SeveralGamesGetAHintAndPidChoosesOne) {
    FakeGame games[2];
    for (FakeGame& game : games) ASSERT_TRUE(game.start());
    ASSERT_TRUE(enterWorld(games[0], "100 200 30"));
    ASSERT_TRUE(enterWorld(games[1], "1000 2000 5"));
    const std::string ids[2] = {std::to_string(games[0].process().id()),
                                std::to_string(games[1].process().id())};

    ASSERT_TRUE(startBridge(bridge, probe, {"--wow", "--identity", "Evening"}));
    const std::string err = withoutCr(bridge.errorOutput());  // written before the first frame
    const bool inOrder = err.find("(" + ids[0]) != std::string::npos;
    const std::string& read = ids[inOrder ? 0 : 1];
    EXPECT_EQ(err, "Found 2 Wow.exe processes (" + read + ", " + ids[inOrder ? 1 : 0] +
                       "); reading " + read + ". Use --pid to choose.\n");
    bridge.kill();
    bridge.wait(kExitTimeout);

    ChildProcess chosen;
    ASSERT_TRUE(startBridge(chosen, probe, {"--wow", "--pid", ids[1], "--identity", "Evening"}));
    EXPECT_TRUE(awaitAt({914.4f, 4.572f, 1828.8f}));
    EXPECT_TRUE(stopBridge(chosen));
}

TEST_F(EveningTest, SecondBridgeIsRefusedWithoutTouchingTheRecord) {
    ASSERT_TRUE(startBridge(bridge, probe, {"--identity", "First"}));
    ChildProcess second;
    std::string error;
    ASSERT_TRUE(second.start({bridgePath(), "--identity", "Second"}, error)) << error;
    int frames = 0;
    for (const auto until = Clock::now() + 500ms; second.running() || Clock::now() < until;) {
        const auto record = probe.read();
        ASSERT_TRUE(record && sameText(record->identity, "First")) << "frame " << frames;
        ++frames;
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_GT(frames, 10);
    EXPECT_EQ(second.wait(kExitTimeout), 1);
    EXPECT_EQ(withoutCr(second.errorOutput()),
              "ERROR: Another CorvaneVoiceBridge is already publishing to MumbleLink.\n");
    EXPECT_EQ(second.output(), "");
    EXPECT_TRUE(stopBridge(bridge));
}

TEST_F(EveningTest, KilledBridgeDoesNotBlockTheNextOne) {
    ASSERT_TRUE(startBridge(bridge, probe, {"--identity", "First"}));
    bridge.kill();
    ASSERT_TRUE(bridge.wait(kExitTimeout).has_value());
    ChildProcess next;
    ASSERT_TRUE(startBridge(next, probe, {"--identity", "Evening"}));
    EXPECT_TRUE(probe.waitFor([](const auto& r) { return sameText(r.identity, "Evening"); },
                              kStepTimeout));
    EXPECT_TRUE(stopBridge(next));
}

}  // namespace
}  // namespace corvane::testing
