// The real bridge in live mode against the fake game client through a
// player's evening, with a crowd whose object list changes all the time,
// observed from outside. The game is the one built beside the test, or the
// Windows build that CORVANE_GAME names: 64-bit or, like the real client,
// 32-bit, under Wine as Linux players run it; and a game the bridge starts
// itself, on Linux also the Windows one under Wine (CORVANE_WINDOWS_GAME, set
// by the test preset linux-wine). Coordinates and lines are written
// out from the documented numbers: scale 0.9144, map regions 250000 m apart,
// and the default identity "CorvaneTest" isolated at (50651000, 0, 50001000).

#include "tests/support/programs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <tuple>
#include <utility>

namespace corvane::testing {
namespace {

const std::string kPadding = "          ";
const std::string kGlue =
    "\rOFFLINE/GLUE SCREEN | isolated | not in world | Mumble=(50651000, 0, 50001000)" + kPadding;
const std::string kOnline = "\rONLINE | state=1 | map=0 | GUID=0x2A | WoW=(100.00, 200.00, 10.00)";

bool isolated(const LinkRecord& r) {
    return r.fAvatarPosition[0] == 50651000.0f && r.fAvatarPosition[2] == 50001000.0f;
}

class LiveBridge : public ::testing::TestWithParam<bool> {};  // true: the game under wine

TEST(LiveGame, FollowsTheCharacterThroughAnEvening) {
    FakeGame game;  // on the glue screen
    ASSERT_TRUE(game.start());
    // Wine names the process after the executable; the bridge goes by the name alone.
    std::string name = "Wow.exe";
    std::ifstream("/proc/" + std::to_string(game.process().id()) + "/comm") >> name;
    EXPECT_EQ(name, "Wow.exe");
    ASSERT_TRUE(game.send({"pos 100 200 10 0"}));
    ChildProcess bridge;
    LinkProbe probe;
    ASSERT_TRUE(startBridge(bridge, probe, {"--wow"}));
    // The first cycle prints at once, then about four lines a second.
    ASSERT_TRUE(awaitOutput(bridge, kGlue, 0));
    EXPECT_TRUE(bridge.output().starts_with(kGlue));
    const auto glue = probe.read();
    ASSERT_TRUE(glue && isolated(*glue));
    EXPECT_EQ(glue->identity, U"CorvaneTest");
    EXPECT_EQ(glue->context, "CORVANE:WORLD:1");
    const auto lines = [&] { return std::ranges::count(bridge.output(), '\r'); };
    const auto before = lines();
    std::this_thread::sleep_for(std::chrono::milliseconds{1500});
    EXPECT_GE(lines() - before, 4);
    EXPECT_LE(lines() - before, 9);

    // Placed only after a debounce of several frames in the world.
    const std::uint32_t sent = probe.read().value_or(LinkRecord{}).uiTick;
    ASSERT_TRUE(game.send({"state 1"}));
    const auto placed = probe.waitFor([](const LinkRecord& r) { return !isolated(r); }, kStepTimeout);
    ASSERT_TRUE(placed);
    EXPECT_GE(placed->uiTick, sent + 5);
    expectPose(*placed, {91.44f, 9.144f, 182.88f, 1, 0, 0}, 1e-4f);
    EXPECT_TRUE(awaitOutput(bridge, kOnline + " | Mumble=(91.44, 9.14, 182.88)" + kPadding, 0));

    // A map change moves the character without isolating it on the way.
    std::size_t from = bridge.output().size();
    ASSERT_TRUE(game.send({"map 1"}));
    bool wasIsolated = false;
    EXPECT_TRUE(probe.waitFor([&](const LinkRecord& r) {
        wasIsolated = wasIsolated || isolated(r);
        return r.fAvatarPosition[0] > 250000.0f;
    }, kStepTimeout));
    EXPECT_FALSE(wasIsolated);
    std::string online = kOnline + " | Mumble=(250091.44, 9.14, 182.88)" + kPadding;
    EXPECT_TRUE(awaitOutput(bridge, online.replace(online.find("map=0"), 5, "map=1"), from));

    // A crowd: objects unlinked, reused and linked in again elsewhere thousands
    // of times a second, the player now and then re-created in another object's
    // memory. The bridge may lose the player for a frame, but never publishes
    // anything but where it stands or the isolation point.
    // CORVANE_CHURN="OBJECTS CHANGES/S PERIOD_MS SECONDS" (bench/dropouts.sh).
    std::istringstream in(std::getenv("CORVANE_CHURN") != nullptr ? std::getenv("CORVANE_CHURN") : "500 20000 200 3");
    std::string objects, rate, period;
    double seconds = 0;
    in >> objects >> rate >> period >> seconds;
    ASSERT_TRUE(game.send({"churn " + objects + " " + rate + " " + period}));
    int frames = 0, dropped = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (std::uint32_t tick = 0; std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(std::chrono::milliseconds{2})) {
        const auto frame = probe.read();
        if (!frame || std::exchange(tick, frame->uiTick) == frame->uiTick) continue;
        const float* at = frame->fAvatarPosition;
        ++frames;
        dropped += isolated(*frame) ? 1 : 0;
        ASSERT_TRUE(isolated(*frame) || std::hypot(at[0] - 250091.44f, at[1] - 9.144f, at[2] - 182.88f) < 0.01f)
            << "frame " << tick << " at (" << at[0] << ", " << at[1] << ", " << at[2] << ")";
    }
    std::printf("churn %s objects, %s changes/s, player every %s ms: %d frames, %d isolated\n",
                objects.c_str(), rate.c_str(), period.c_str(), frames, dropped);
    EXPECT_LE(dropped * 2, frames) << "the player is lost more often than found";

    from = bridge.output().size();
    ASSERT_TRUE(game.send({"state 0"}));
    EXPECT_TRUE(awaitOutput(bridge, kGlue, from));

    // A game that ends is gone for good, and said so at once, never as a
    // failed read; the bridge goes on publishing.
    from = bridge.output().size();
    game.process().kill();
    EXPECT_TRUE(awaitOutput(bridge, "\rOFFLINE/GLUE SCREEN | isolated | Wow.exe has exited. Use --wait to follow "
                          "the next one. | Mumble=(50651000, 0, 50001000)" + kPadding, from));
    EXPECT_EQ(bridge.output().find("g_ClientConnectionState", from), std::string::npos);
    const std::uint32_t tick = probe.read().value_or(LinkRecord{}).uiTick;
    const auto later = probe.waitFor([tick](const LinkRecord& r) { return r.uiTick >= tick + 25; },
                                     kStepTimeout);
    EXPECT_TRUE(later && isolated(*later));
    EXPECT_TRUE(stopBridge(bridge));
    EXPECT_TRUE(bridge.output().ends_with(kPadding));
}

// The client's build decides: 3.3.5.12340 is read, its version named; another
// build (beside the Windows builds, in build-15595) is refused, naming both.
// The native stand-in, no Windows program, has no version: read, said so.
TEST(LiveGame, ReadsBuild12340AndRefusesAnother) {
    const std::string program = fakeGameProgram();
    FakeGame game;
    ASSERT_TRUE(game.start());
    const std::string log = uniqueTempFile().string();
    const std::string read = "Reading Wow.exe (process " + std::to_string(game.process().id()) + ")" +
        (isWindowsProgram(program) ? ", version 3.3.5.12340.\n" : ", which has no version resource; it is read as 3.3.5a, build 12340.\n");
    {
        ChildProcess bridge;
        std::string error;
        ASSERT_TRUE(bridge.start({bridgePath(), "--wow", "--log", log}, error)) << error;
        EXPECT_TRUE(awaitFile(log, read));
    }  // killed
    std::filesystem::remove(log);

    const auto other = std::filesystem::path(program).parent_path() / "build-15595" / "Wow.exe";
    if (!std::filesystem::exists(other)) GTEST_SKIP() << "No other build beside " << program;
    game.process().kill();
    game.process().wait(kExitTimeout);
    FakeGame older;
    ASSERT_TRUE(older.start(fakeGameCommand(other.string())));
    const Finished refused = runToEnd({bridgePath(), "--wow"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.errorOutput, "ERROR: Wow.exe is version 4.3.4.15595; this bridge reads 3.3.5a, build 12340.\n");
}

// The game started after "--" is the bridge's child with the bridge's standard
// streams: steered through the bridge's input, answering in its output. Its
// arguments arrive as given; its exit code is the bridge's, after a last,
// isolated frame.
TEST_P(LiveBridge, StartsTheGameCommandReadsItAndEndsWithIt) {
    const char* windowsGame = GetParam() ? std::getenv("CORVANE_WINDOWS_GAME") : nullptr;
    ASSERT_TRUE(windowsGame != nullptr || !GetParam());
    std::vector<std::string> args = {"--", windowsGame ? windowsGame : siblingProgram("Wow.exe"),
                                     "a b", "say \"hi\"", "C:\\dir\\", ""};
    // As players write it: Wine's start.exe then runs the game, which Wine leaves to the bridge.
    // CORVANE_WINE: the 64-bit loader, where Debian's "wine" cannot run.
    const char* wine = std::getenv("CORVANE_WINE");
    if (windowsGame) args.insert(args.begin() + 1, wine != nullptr ? wine : "wine");
    ChildProcess bridge;
    LinkProbe probe;
    ASSERT_TRUE(startBridge(bridge, probe, args));
    EXPECT_TRUE(awaitOutput(bridge, "args [a b] [say \"hi\"] [C:\\dir\\] []\n"));
    ASSERT_TRUE(bridge.writeInput("pos 100 200 10 0\nstate 1\n"));
    const auto placed = probe.waitFor([](const LinkRecord& r) { return !isolated(r); }, kStartTimeout);
    ASSERT_TRUE(placed);
    expectPose(*placed, {91.44f, 9.144f, 182.88f, 1, 0, 0}, 1e-4f);
    ASSERT_TRUE(bridge.writeInput("exit 7\n"));
    EXPECT_EQ(bridge.wait(kExitTimeout), 7);
    EXPECT_TRUE(isolated(probe.read().value_or(LinkRecord{})));
    // Launchers keep standard error as their log: the start line, its warning
    // and which game is read, with its version (the native stand-in has none);
    // and who reads the link, once a look found out.
    const std::string err = bridge.errorOutput();
    EXPECT_TRUE(err.starts_with("CorvaneVoiceBridge: live mode (starting the game with: "));
    EXPECT_NE(err.find("Every player without --identity shares the identity \"CorvaneTest\": start with "
                       "--identity and your character's name.\nReading Wow.exe (process "), std::string::npos) << err;
    EXPECT_NE(err.find(isWindowsProgram(args[windowsGame ? 2 : 1]) ? "), version 3.3.5.12340.\n" : "), which has no version resource; "
                       "it is read as 3.3.5a, build 12340.\n"), std::string::npos) << err;
}

// Standard output a pipe nobody reads, full within seconds as a console that
// stopped taking text (the player selects some, or pressed Ctrl-S), or (POSIX)
// one whose reader has gone: the link keeps its pace, and a stop (SIGTERM,
// SIGHUP; on Windows Ctrl-C, all Wine sends) ends the bridge within a second,
// the character parked at its isolation point.
TEST(UnreadOutput, NeitherSlowsTheLinkNorHoldsUpTheStop) {
    FakeGame game;
    ASSERT_TRUE(game.start() && game.send({"pos 100 200 10 0", "state 1"}));
    constexpr int kHangUp = 1;  // SIGHUP, which Windows' headers lack
    for (const auto& [unread, seconds, signal] : {std::tuple(true, 20, SIGTERM), std::tuple(false, 2, kHangUp)}) {
        ChildProcess bridge;
        bridge.unreadOutputPipe = unread;
        bridge.brokenOutputPipe = !unread;
        bridge.ownConsole = true;
        LinkProbe probe;
        ASSERT_TRUE(startBridge(bridge, probe, {"--wow"}));
        ASSERT_TRUE(probe.waitFor([](const LinkRecord& r) { return !isolated(r); }, kStepTimeout));
        const auto start = std::chrono::steady_clock::now();
        const std::uint32_t first = probe.read().value_or(LinkRecord{}).uiTick;
        std::uint32_t tick = first;
        for (int second = 1; second <= seconds; ++second) {
            std::this_thread::sleep_until(start + std::chrono::seconds{second});
            const LinkRecord r = probe.read().value_or(LinkRecord{});
            EXPECT_TRUE(r.uiTick - std::exchange(tick, r.uiTick) >= 20 && !isolated(r)) << "second " << second;
        }
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_GE(tick - first, 30 * took);
        EXPECT_LE(tick - first, 50 * took + 1);
        const auto signalled = std::chrono::steady_clock::now();
        ASSERT_TRUE(bridge.signal(signal) || bridge.signal(SIGINT));
        EXPECT_EQ(bridge.wait(kExitTimeout), 0);
        EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds{1});
        EXPECT_EQ(bridge.errorOutput(), "");
        expectPose(probe.read().value_or(LinkRecord{}), {50651000, 0, 50001000, 0, 0, 1}, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Game, LiveBridge, ::testing::Values(false, true),
                         [](const auto& test) { return test.param ? "Wine" : "Native"; });

}  // namespace
}  // namespace corvane::testing
