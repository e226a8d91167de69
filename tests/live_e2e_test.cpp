// The real bridge in live mode against the fake game client, observed from
// outside: the status lines it prints and the record it publishes through a
// player's evening. Coordinates and lines are written out from the documented
// numbers: scale 0.9144, map regions 250000 m apart, and the default identity
// "CorvaneTest" isolated at (50651000, 0, 50001000).

#include "tests/support/programs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace corvane::testing {
namespace {

using namespace std::chrono_literals;

constexpr char kPadding[] = "          ";
const std::string kGlue =
    "\rOFFLINE/GLUE SCREEN | isolated | not in world | Mumble=(50651000, 0, 50001000)" +
    std::string(kPadding);

bool isolated(const LinkRecord& r) {
    return r.fAvatarPosition[0] == 50651000.0f && r.fAvatarPosition[1] == 0.0f &&
           r.fAvatarPosition[2] == 50001000.0f;
}

class LiveBridge : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(game.start()); }  // on the glue screen

    // Waits for a status line equal to `expected` after the first `skip`.
    ::testing::AssertionResult awaitLine(const std::string& expected, std::size_t skip = 0) {
        const auto found = [&](const std::string& out) {
            const std::vector<std::string> lines = statusLines(out);
            return std::find(lines.begin() + std::min(skip, lines.size()), lines.end(), expected) !=
                   lines.end();
        };
        if (bridge.waitForOutput(found, kStepTimeout)) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "No line \"" << expected << "\" in \""
                                             << bridge.output() << "\"";
    }
    std::size_t lineCount() { return statusLines(bridge.output()).size(); }

    FakeGame game;
    ChildProcess bridge;
    LinkProbe probe;
};

// Glue screen, the world, another map, the glue screen again, and the game's end.
TEST_F(LiveBridge, FollowsTheCharacterThroughAnEvening) {
    ASSERT_TRUE(game.send({"pos 100 200 10 0"}));
    ASSERT_TRUE(startBridge(bridge, probe, {"--wow"}));
    // The first cycle prints at once, then about four lines a second.
    ASSERT_TRUE(awaitLine(kGlue));
    EXPECT_EQ(statusLines(bridge.output()).front(), kGlue);
    const auto glue = probe.read();
    ASSERT_TRUE(glue && isolated(*glue));
    EXPECT_EQ(glue->identity, U"CorvaneTest");
    EXPECT_EQ(glue->context, "CORVANE:WORLD:1");
    const std::size_t before = lineCount();
    std::this_thread::sleep_for(1500ms);
    EXPECT_GE(lineCount() - before, 4u);
    EXPECT_LE(lineCount() - before, 9u);

    // Placed only after a debounce of several in-world frames.
    const std::uint32_t sent = probe.read().value_or(LinkRecord{}).uiTick;
    ASSERT_TRUE(game.send({"state 1"}));
    const auto placed = probe.waitFor([](const LinkRecord& r) { return !isolated(r); }, kStepTimeout);
    ASSERT_TRUE(placed);
    EXPECT_GE(placed->uiTick, sent + 5);
    const float expected[9] = {91.44f, 9.144f, 182.88f, 1, 0, 0, 0, 1, 0};
    for (int i = 0; i < 9; ++i) {
        EXPECT_NEAR((i < 3 ? placed->fAvatarPosition : i < 6 ? placed->fAvatarFront
                                                              : placed->fAvatarTop)[i % 3],
                    expected[i], 1e-4);
    }
    EXPECT_EQ(std::vector<unsigned char>(placed->raw.begin() + 8, placed->raw.begin() + 44),
              std::vector<unsigned char>(placed->raw.begin() + kLinkLayout.cameraPosition,
                                         placed->raw.begin() + kLinkLayout.cameraPosition + 36));
    EXPECT_TRUE(awaitLine("\rONLINE | state=1 | map=0 | GUID=0x2A | WoW=(100.00, 200.00, 10.00) | "
                          "Mumble=(91.44, 9.14, 182.88)" + std::string(kPadding)));

    // A map change moves the character without isolating it on the way.
    std::size_t skip = lineCount();
    ASSERT_TRUE(game.send({"map 1"}));
    bool wasIsolated = false;
    EXPECT_TRUE(probe.waitFor([&](const LinkRecord& r) {
        wasIsolated = wasIsolated || isolated(r);
        return r.fAvatarPosition[0] > 250000.0f;
    }, kStepTimeout));
    EXPECT_FALSE(wasIsolated);
    EXPECT_TRUE(awaitLine("\rONLINE | state=1 | map=1 | GUID=0x2A | WoW=(100.00, 200.00, 10.00) | "
                          "Mumble=(250091.44, 9.14, 182.88)" + std::string(kPadding), skip));

    skip = lineCount();
    ASSERT_TRUE(game.send({"state 0"}));
    EXPECT_TRUE(awaitLine(kGlue, skip));

    // A game that ends is gone for good; the bridge goes on publishing.
    skip = lineCount();
    game.process().kill();
    EXPECT_TRUE(awaitLine("\rOFFLINE/GLUE SCREEN | isolated | Could not read "
                          "g_ClientConnectionState. | Mumble=(50651000, 0, 50001000)" +
                          std::string(kPadding), skip));
    const std::uint32_t tick = probe.read().value_or(LinkRecord{}).uiTick;
    const auto later = probe.waitFor([tick](const LinkRecord& r) { return r.uiTick >= tick + 25; },
                                     kStepTimeout);
    EXPECT_TRUE(later && isolated(*later));
    EXPECT_TRUE(stopBridge(bridge));
    EXPECT_TRUE(bridge.output().ends_with(kPadding));
}

}  // namespace
}  // namespace corvane::testing
