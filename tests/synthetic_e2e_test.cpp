// The real bridge in synthetic mode, observed from outside: its exit codes,
// its two streams and the record it publishes.

#include "driver/options.h"
#include "driver/poses.h"
#include "link/link_record.h"
#include "tests/support/programs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace corvane::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr char kHint[] = "Invalid arguments. Run with --help.\n";

class SyntheticBridgeTest : public ::testing::Test {
protected:
    // Where the record outlives its users, start each test without one, so
    // that no frame of an earlier run is taken for a new one.
    void SetUp() override { removeSharedMemory(kLinkName); }
    void TearDown() override { removeSharedMemory(kLinkName); }
};

// Read in the test and, as a player would, through the link monitor.
TEST_F(SyntheticBridgeTest, PublishesTheStaticPoseByteForByte) {
    // Quotes, spaces and a trailing backslash must survive the Windows command line.
    const BridgeOptions options{.identity = R"(Ann "the \"Bard\"" Lee\)",
                                .context = "CORVANE:WORLD:7 with spaces",
                                .x = 1.5f, .y = -2.25f, .z = 3.75f, .yaw = 33.0f};
    ChildProcess bridge;
    LinkProbe probe;
    ASSERT_TRUE(startBridge(bridge, probe,
                            {"--identity", options.identity, "--context", options.context, "--x",
                             "1.5", "--y", "-2.25", "--z", "3.75", "--yaw", "33"}));
    const LinkFrame frame{staticPose(options), options.identity, options.context};
    const auto seen = probe.waitFor([](const LinkedMem& r) { return r.uiTick >= 2; }, kStepTimeout);
    ASSERT_TRUE(seen);
    EXPECT_TRUE(isRecordOf(*seen, frame));

    const Finished monitor = runToEnd({siblingProgram("CorvaneLinkMonitor"), "--json", "--once"});
    ASSERT_EQ(monitor.exitCode, 0) << monitor.errorOutput;
    const std::size_t tickAt = monitor.output.find("\"tick\":");
    ASSERT_NE(tickAt, std::string::npos) << monitor.output;
    LinkedMem expected{};
    assembleRecord(frame, static_cast<std::uint32_t>(std::stoul(monitor.output.substr(tickAt + 7))),
                   expected);
    const char* hex = "0123456789abcdef";
    std::string raw = "\"raw\":\"";
    const auto* bytes = reinterpret_cast<const unsigned char*>(&expected);
    for (unsigned char b : std::span(bytes, kLinkedMemSize)) raw += {hex[b / 16], hex[b % 16]};
    EXPECT_NE(monitor.output.find(raw + "\""), std::string::npos) << monitor.output;

    EXPECT_TRUE(stopBridge(bridge));
    EXPECT_EQ(bridge.output(), "");
}

// Frames are at least 20 ms apart, so between two reads less than that apart
// at most one can have been published; a longer gap allows one per 20 ms.
TEST_F(SyntheticBridgeTest, TickAdvancesByOneEachFrameAboutEvery20Ms) {
    ChildProcess bridge;
    LinkProbe probe;
    ASSERT_TRUE(startBridge(bridge, probe, {}));
    const auto start = Clock::now();
    const std::uint32_t firstTick = probe.read().value_or(LinkedMem{}).uiTick;
    auto readAt = start;  // when the read that saw lastTick began
    std::uint32_t lastTick = firstTick;
    for (auto now = start; now - start < 500ms;) {
        std::this_thread::sleep_for(1ms);
        const auto before = Clock::now();
        const std::optional<LinkedMem> record = probe.read();
        now = Clock::now();
        if (!record) continue;
        EXPECT_LE(record->uiTick - lastTick, static_cast<std::uint32_t>((now - readAt) / 20ms + 1))
            << "after tick " << lastTick;
        readAt = before;
        lastTick = record->uiTick;
    }
    EXPECT_GE(lastTick - firstTick, 20u) << "cycles of more than 25 ms";
    EXPECT_LE(lastTick - firstTick, static_cast<std::uint32_t>((Clock::now() - start) / 20ms) + 1);
}

// Position (r sin a, y, r cos a), facing the centre: a starts at 0 and grows
// by 90 degrees per second of the run, towards +x. Frame n comes at least
// (n - 1) * 20 ms into the run, and no later than we see it.
TEST_F(SyntheticBridgeTest, OrbitCirclesAtHeightYFacingTheCentre) {
    const auto launched = Clock::now();
    ChildProcess bridge;
    LinkProbe probe;
    // x, z and yaw have no say in the orbit.
    ASSERT_TRUE(startBridge(bridge, probe,
                            {"--orbit", "--radius", "5", "--speed", "90", "--y", "2", "--x", "7",
                             "--z", "-3", "--yaw", "45"}));
    double travelled = 0.0;  // degrees, not wrapped
    std::uint32_t tick = 0;
    for (int frame = 0; frame < 8; ++frame) {
        const auto record =
            probe.waitFor([tick](const LinkedMem& r) { return r.uiTick > tick; }, 2000ms);
        ASSERT_TRUE(record) << "no frame after tick " << tick;
        SCOPED_TRACE("uiTick " + std::to_string(record->uiTick));
        const float* position = record->fAvatarPosition;
        const float* front = record->fAvatarFront;
        EXPECT_EQ(position[1], 2.0f);
        EXPECT_NEAR(std::hypot(position[0], position[2]), 5.0, 1e-4);
        EXPECT_NEAR(front[0], -position[0] / 5.0, 1e-4);
        EXPECT_NEAR(front[2], -position[2] / 5.0, 1e-4);

        const double angle = std::atan2(position[0], position[2]) * 180.0 / std::numbers::pi;
        const double turn = std::remainder(angle - travelled, 360.0);
        if (frame > 0) {
            EXPECT_GT(turn, 0.0);
        }
        travelled += turn;
        EXPECT_GE(travelled, (record->uiTick - 1) * 0.020 * 90.0 - 0.01);
        EXPECT_LE(travelled,
                  std::chrono::duration<double>(Clock::now() - launched).count() * 90.0 + 0.01);
        tick = record->uiTick;
    }
    EXPECT_TRUE(stopBridge(bridge));
    EXPECT_EQ(bridge.output(), "");
}

TEST_F(SyntheticBridgeTest, CommandLineThatEndsTheRunOpensNoLink) {
    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::string output;
        std::string errorOutput;
    } cases[] = {
        {{"--x"}, 2, "", kHint},
        {{"--bogus"}, 2, "", std::string("Unknown option: --bogus\n") + kHint},
        {{"--radius", "--help"}, 2, "", kHint},
        {{"--help"}, 0, kUsageText, ""},
        {{"--orbit", "-h", "--bogus"}, 0, kUsageText, ""},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.args.front());
        c.args.insert(c.args.begin(), bridgePath());
        const Finished run = runToEnd(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.output, c.output);
        EXPECT_EQ(run.errorOutput, c.errorOutput);
        LinkProbe probe;
        std::string error;
        EXPECT_FALSE(probe.open(error)) << "the link was opened";
    }
}

// The voice client keeps its mapping when the bridge stops, and must still
// see the last frame whole. The signal mostly lands in the pause between
// cycles, which must end at once.
TEST_F(SyntheticBridgeTest, StopSignalEndsWith0AtOnceAndLeavesTheLastFrame) {
    for (const bool interrupt : {true, false}) {
        SCOPED_TRACE(interrupt ? "SIGINT" : "SIGTERM");
        removeSharedMemory(kLinkName);
        ChildProcess bridge;
        LinkProbe probe;
        ASSERT_TRUE(startBridge(bridge, probe, {"--identity", "Stopper"}));
        const auto signalled = Clock::now();
        if (!(interrupt ? bridge.interrupt() : bridge.terminate())) {
            GTEST_SKIP() << "No stop signals for other processes here.";
        }
        EXPECT_EQ(bridge.wait(kExitTimeout), 0);
        EXPECT_LT(Clock::now() - signalled, 1s);
        EXPECT_EQ(bridge.output(), "");
        EXPECT_EQ(bridge.errorOutput(), "");
        const std::optional<LinkedMem> after = probe.read();
        ASSERT_TRUE(after);
        const BridgeOptions stopper{.identity = "Stopper"};
        EXPECT_TRUE(isRecordOf(*after, {staticPose(stopper), stopper.identity, stopper.context}));
    }
}

TEST_F(SyntheticBridgeTest, ExistingLinkIsLeftAsItWasWhenTheGameIsMissing) {
    // Holding the object keeps it alive on Windows while the bridge opens it.
    SharedMemory existing;
    std::uint32_t code = 0;
    ASSERT_EQ(existing.openOrCreate(kLinkName, kLinkedMemSize, code), SharedMemory::Status::Ok)
        << "Win32 error " << code;
    ASSERT_TRUE(existing.created());
    const auto pattern = [](std::size_t i) { return static_cast<unsigned char>(i * 131 + 7); };
    auto* bytes = static_cast<unsigned char*>(existing.data());
    for (std::size_t i = 0; i < kLinkedMemSize; ++i) bytes[i] = pattern(i);

    const Finished run = runToEnd({bridgePath(), "--wow", "--identity", "Nobody"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.errorOutput, "ERROR: Wow.exe was not found.\n");
    EXPECT_EQ(run.output, "");
    for (std::size_t i = 0; i < kLinkedMemSize; ++i) ASSERT_EQ(bytes[i], pattern(i)) << "at " << i;
}

}  // namespace
}  // namespace corvane::testing
