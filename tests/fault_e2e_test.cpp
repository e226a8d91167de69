// What the bridge says when it cannot start, and how it stops: a link object
// it cannot use, a game it may not read, and a stop signal before the first
// cycle or in the middle of one. Never a crash, never a false success.

#include "driver/options.h"
#include "driver/poses.h"
#include "game/game_reader.h"
#include "tests/fault_platform.h"
#include "tests/support/programs.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace corvane::testing {
namespace {

constexpr char kIdentity[] = "FaultTester";
constexpr char kPadding[] = "          ";

// The bridge run as "nobody" where the test is root (root may open
// anything), as ourselves elsewhere.
Finished runRefusedBridge(std::vector<std::string> options) {
    std::vector<std::string> args = asNobody();
    args.push_back(bridgePath());
    args.insert(args.end(), options.begin(), options.end());
    return runToEnd(args);
}

class FaultTest : public ::testing::Test {
protected:
    void SetUp() override {
        removeSharedMemory(kLinkName);
        ASSERT_FALSE(GameReader().attach(L"Wow.exe")) << "Another Wow.exe is running.";
    }
    void TearDown() override { removeSharedMemory(kLinkName); }
};

TEST_F(FaultTest, LinkSmallerThanTheRecordIsRefusedAndLeftAlone) {
    SharedMemory small;
    std::uint32_t code = 0;
    ASSERT_EQ(small.openOrCreate(kLinkName, 100, code), SharedMemory::Status::Ok) << code;
    std::memset(small.data(), 0x5A, 100);

    const Finished run = runToEnd({bridgePath()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.errorOutput, "ERROR: Could not map MumbleLink shared memory (Win32 error 5).\n");
    EXPECT_EQ(run.output, "");
    const auto* bytes = static_cast<const unsigned char*>(small.data());
    for (int i = 0; i < 100; ++i) ASSERT_EQ(bytes[i], 0x5A) << "byte " << i;
}

// As "nobody", the link is given to that user first, so that the read-only
// mode is the owner's.
TEST_F(FaultTest, LinkThatCannotBeOpenedForWritingIsRefused) {
    for (const unsigned mode : {0000u, 0400u}) {
        SCOPED_TRACE(mode == 0 ? "no access" : "read-only");
        removeSharedMemory(kLinkName);
        SharedMemory link;
        std::uint32_t code = 0;
        ASSERT_EQ(link.openOrCreate(kLinkName, kLinkedMemSize, code), SharedMemory::Status::Ok);
        std::string error;
        if (!setSharedMemoryAccess(kLinkName, mode, error)) GTEST_SKIP() << error;

        const Finished run = runRefusedBridge({});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.errorOutput,
                  "ERROR: Could not open or create MumbleLink shared memory (Win32 error 5).\n");
        EXPECT_EQ(run.output, "");
    }
}

TEST_F(FaultTest, GameThatMayNotBeReadStopsTheStartWithOpenProcessError5) {
    if (asNobody().empty()) GTEST_SKIP() << "Needs root, to run the bridge as another user.";
    FakeGame game;  // ours: "nobody" may see it but not read it
    ASSERT_TRUE(game.start());

    const Finished run = runRefusedBridge({"--wow"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.errorOutput, "ERROR: OpenProcess failed for Wow.exe (Win32 error 5).\n");
    EXPECT_EQ(run.output, "");
}

// The signal comes the moment both handlers are in place. Start-up then goes
// on to its end (the link is made and cleared), but nothing is published.
TEST_F(FaultTest, StopSignalBeforeTheFirstCycleEndsWithZeroAndPublishesNothing) {
    FakeGame game;  // live mode: attaching to it lengthens the start-up
    ASSERT_TRUE(game.start());
    int early = 0;
    for (int attempt = 0; attempt < 40 && early < 3; ++attempt) {
        removeSharedMemory(kLinkName);
        ChildProcess bridge;
        std::string error;
        ASSERT_TRUE(bridge.start({bridgePath(), "--wow", "--identity", kIdentity}, error)) << error;
        for (const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;;) {
            const std::optional<bool> installed = stopHandlersInstalled(bridge.id());
            if (!installed && bridge.running()) GTEST_SKIP() << "Cannot see signal handlers here.";
            if (installed.value_or(true)) break;
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "SIGINT or SIGTERM unhandled";
        }
        ASSERT_TRUE(attempt % 2 == 0 ? bridge.interrupt() : bridge.terminate());
        ASSERT_EQ(bridge.wait(kExitTimeout), 0) << bridge.errorOutput();
        EXPECT_EQ(bridge.errorOutput(), "");
        if (!bridge.output().empty()) continue;  // too late: the first cycle always prints

        ++early;
        LinkProbe probe;
        ASSERT_TRUE(probe.open(error)) << error;
        const auto record = probe.read();
        ASSERT_TRUE(record);
        const LinkedMem empty{};
        EXPECT_EQ(std::memcmp(&*record, &empty, sizeof empty), 0) << "uiTick " << record->uiTick;
    }
    // Signals sent this early nearly always land before the first cycle, even
    // on a loaded machine: a first cycle in every run means it ignores the flag.
    EXPECT_GT(early, 0) << "The first cycle ran in every run stopped before it.";
}

// The cycle that the signal interrupts still publishes a whole frame.
TEST_F(FaultTest, StopSignalDuringACycleLetsItFinishAndEndsWithZero) {
    FakeGame game;
    ASSERT_TRUE(game.start());
    // Every cycle walks 8192 objects without finding the player: long cycles.
    ASSERT_TRUE(game.send({"list 9000 9000", "state 1"}));
    ChildProcess bridge;
    LinkProbe probe;
    ASSERT_TRUE(startBridge(bridge, probe, {"--wow", "--identity", kIdentity}));
    if (!schedulerState(bridge.id())) GTEST_SKIP() << "Cannot see a process's state here.";

    const auto deadline = std::chrono::steady_clock::now() + kStepTimeout;
    while (schedulerState(bridge.id()) != 'R' && std::chrono::steady_clock::now() < deadline) {
    }
    EXPECT_TRUE(stopBridge(bridge));
    EXPECT_TRUE(bridge.output().ends_with(kPadding));
    const auto record = probe.read();
    ASSERT_TRUE(record);
    const BridgeOptions options{.identity = kIdentity};
    EXPECT_TRUE(isRecordOf(*record, {isolationPose(kIdentity), kIdentity, options.context}));
}

}  // namespace
}  // namespace corvane::testing
