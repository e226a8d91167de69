// The real bridge in synthetic mode, observed from outside: its exit codes,
// its two streams and the record it publishes.

#include "driver/options.h"
#include "driver/poses.h"
#include "link/link_record.h"
#include "link/linked_mem.h"
#include "link/shared_memory.h"
#include "tests/support/child_process.h"
#include "tests/support/link_probe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

namespace corvane::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Generous: a loaded machine, or wine starting its first process.
constexpr auto kStartTimeout = 15s;
constexpr auto kExitTimeout = 10s;
constexpr auto kFramePeriod = 20ms;
constexpr char kHint[] = "Invalid arguments. Run with --help.\n";

// Under wine the C runtime writes "\r\n" for "\n".
std::string normalised(std::string text) {
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
        text.erase(at, 1);
    }
    return text;
}

::testing::AssertionResult startBridge(ChildProcess& bridge, std::vector<std::string> args) {
    args.insert(args.begin(), siblingProgram("CorvaneVoiceBridge"));
    std::string error;
    if (bridge.start(args, error)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << error;
}

// Opens the link once the bridge has made it, then waits for frame `tick`.
::testing::AssertionResult awaitFrame(ChildProcess& bridge, LinkProbe& probe, std::uint32_t tick,
                                      LinkedMem& record) {
    const auto deadline = Clock::now() + kStartTimeout;
    std::string error;
    while (!probe.open(error)) {
        if (!bridge.running()) {
            return ::testing::AssertionFailure() << "The bridge ended early: "
                                                 << bridge.errorOutput();
        }
        if (Clock::now() >= deadline) return ::testing::AssertionFailure() << error;
        std::this_thread::sleep_for(2ms);
    }
    const auto found = probe.waitFor([tick](const LinkedMem& r) { return r.uiTick >= tick; },
                                     std::chrono::duration_cast<std::chrono::milliseconds>(
                                         deadline - Clock::now()));
    if (!found) return ::testing::AssertionFailure() << "No frame " << tick << " was published.";
    record = *found;
    return ::testing::AssertionSuccess();
}

// Where stop signals exist the bridge gets SIGTERM, else it is ended at once.
std::optional<int> stopBridge(ChildProcess& bridge) {
    if (!bridge.terminate()) bridge.kill();
    return bridge.wait(kExitTimeout);
}

LinkedMem expectedRecord(const BridgeOptions& options, const Pose& pose, std::uint32_t tick) {
    LinkedMem record{};
    assembleRecord(LinkFrame{pose, options.identity, options.context}, tick, record);
    return record;
}

::testing::AssertionResult sameBytes(const LinkedMem& actual, const LinkedMem& expected) {
    const auto* a = reinterpret_cast<const unsigned char*>(&actual);
    const auto* e = reinterpret_cast<const unsigned char*>(&expected);
    for (std::size_t i = 0; i < kLinkedMemSize; ++i) {
        if (a[i] != e[i]) {
            return ::testing::AssertionFailure()
                   << "records differ first at byte " << i << ": " << int{a[i]} << " instead of "
                   << int{e[i]} << " (uiTick " << actual.uiTick << ")";
        }
    }
    return ::testing::AssertionSuccess();
}

bool linkExists() {
    LinkProbe probe;
    std::string error;
    return probe.open(error);
}

class SyntheticBridgeTest : public ::testing::Test {
protected:
    // Where the record outlives its users, start each test without one, so
    // that no frame of an earlier run is taken for a new one.
    void SetUp() override { removeSharedMemory(kLinkName); }
    void TearDown() override { removeSharedMemory(kLinkName); }
};

TEST_F(SyntheticBridgeTest, PublishesTheStaticPoseByteForByte) {
    // Quotes, spaces and a trailing backslash must survive the Windows command line.
    BridgeOptions options;
    options.identity = R"(Ann "the \"Bard\"" Lee\)";
    options.context = "CORVANE:WORLD:7 with spaces";
    options.x = 1.5f;
    options.y = -2.25f;
    options.z = 3.75f;
    options.yaw = 33.0f;
    ChildProcess bridge;
    ASSERT_TRUE(startBridge(bridge, {"--identity", options.identity, "--context", options.context,
                                     "--x", "1.5", "--y", "-2.25", "--z", "3.75", "--yaw", "33"}));

    LinkProbe probe;
    LinkedMem seen{};
    ASSERT_TRUE(awaitFrame(bridge, probe, 2, seen));
    const Pose pose = staticPose(options);
    EXPECT_TRUE(sameBytes(seen, expectedRecord(options, pose, seen.uiTick)));

    std::string error;
    const std::optional<LinkedMem> monitored = readRecordWithMonitor(error);
    ASSERT_TRUE(monitored) << error;
    EXPECT_GE(monitored->uiTick, seen.uiTick);
    EXPECT_TRUE(sameBytes(*monitored, expectedRecord(options, pose, monitored->uiTick)));

    ASSERT_TRUE(stopBridge(bridge));
    EXPECT_EQ(bridge.output(), "");
}

// Frames are at least 20 ms apart, so between two reads less than that apart
// at most one can have been published; a longer gap allows one per 20 ms.
TEST_F(SyntheticBridgeTest, TickAdvancesByOneEachFrameAboutEvery20Ms) {
    ChildProcess bridge;
    ASSERT_TRUE(startBridge(bridge, {}));
    LinkProbe probe;
    LinkedMem first{};
    ASSERT_TRUE(awaitFrame(bridge, probe, 1, first));

    struct Sample {
        Clock::time_point before;
        Clock::time_point after;
        std::uint32_t tick;
    };
    Sample start{Clock::now(), Clock::now(), 0};
    start.tick = probe.read().value_or(first).uiTick;
    Sample last = start;
    std::string violations;
    while (last.after - start.before < 500ms) {
        std::this_thread::sleep_for(1ms);
        Sample next{Clock::now(), {}, 0};
        const std::optional<LinkedMem> record = probe.read();
        next.after = Clock::now();
        if (!record) continue;
        next.tick = record->uiTick;
        const std::uint32_t step = next.tick - last.tick;
        const auto span = next.after - last.before;
        const auto allowed = static_cast<std::uint32_t>(span / kFramePeriod) + 1;
        if (step > allowed) {
            violations += "tick " + std::to_string(last.tick) + " -> " +
                          std::to_string(next.tick) + " within " +
                          std::to_string(std::chrono::duration<double, std::milli>(span).count()) +
                          " ms\n";
        }
        last = next;
    }
    EXPECT_EQ(violations, "");

    const std::uint32_t frames = last.tick - start.tick;
    const auto elapsed = last.after - start.before;
    EXPECT_GE(frames, 10u) << "in " << std::chrono::duration<double>(elapsed).count() << " s";
    EXPECT_LE(frames, static_cast<std::uint32_t>(elapsed / kFramePeriod) + 1);
}

TEST_F(SyntheticBridgeTest, OrbitCirclesAtHeightYFacingTheCentre) {
    // x, z and yaw have no say in the orbit.
    const auto launched = Clock::now();
    ChildProcess bridge;
    ASSERT_TRUE(startBridge(bridge, {"--orbit", "--radius", "5", "--speed", "90", "--y", "2",
                                     "--x", "7", "--z", "-3", "--yaw", "45"}));
    LinkProbe probe;
    LinkedMem record{};
    ASSERT_TRUE(awaitFrame(bridge, probe, 1, record));

    constexpr float kRadius = 5.0f;
    constexpr double kDegreesPerSecond = 90.0;
    constexpr double kDegreesPerRadian = 180.0 / std::numbers::pi;
    double lastAngle = 0.0;
    double travelled = 0.0;  // degrees, not wrapped
    for (int frame = 0; frame < 8; ++frame) {
        if (frame > 0) {
            const std::uint32_t previous = record.uiTick;
            const auto next = probe.waitFor(
                [previous](const LinkedMem& r) { return r.uiTick != previous; }, 2000ms);
            ASSERT_TRUE(next) << "no frame after tick " << previous;
            record = *next;
        }
        const double secondsSinceLaunch =
            std::chrono::duration<double>(Clock::now() - launched).count();
        SCOPED_TRACE("uiTick " + std::to_string(record.uiTick));
        const float* position = record.fAvatarPosition;
        const float* front = record.fAvatarFront;
        EXPECT_EQ(position[1], 2.0f);
        EXPECT_NEAR(std::hypot(position[0], position[2]), kRadius, 1e-4);
        EXPECT_NEAR(front[0], -position[0] / kRadius, 1e-4);
        EXPECT_EQ(front[1], 0.0f);
        EXPECT_NEAR(front[2], -position[2] / kRadius, 1e-4);
        const float top[3] = {0.0f, 1.0f, 0.0f};
        EXPECT_EQ(std::memcmp(record.fAvatarTop, top, sizeof top), 0);
        EXPECT_EQ(std::memcmp(record.fCameraPosition, record.fAvatarPosition, 12), 0);
        EXPECT_EQ(std::memcmp(record.fCameraFront, record.fAvatarFront, 12), 0);
        EXPECT_EQ(std::memcmp(record.fCameraTop, record.fAvatarTop, 12), 0);

        // Position (r sin a, y, r cos a): a starts at 0 and grows by 90 degrees
        // per second of the run, towards +x. Frame n comes at least (n - 1) * 20 ms
        // into the run, and no later than we saw it.
        const double angle = std::atan2(position[0], position[2]) * kDegreesPerRadian;
        if (frame == 0) {
            travelled = angle;
        } else {
            double turn = angle - lastAngle;
            if (turn <= -180.0) turn += 360.0;
            EXPECT_GT(turn, 0.0);
            travelled += turn;
        }
        lastAngle = angle;
        const double earliest = (record.uiTick - 1) * 0.020 * kDegreesPerSecond;
        EXPECT_GE(travelled, earliest - 0.01);
        EXPECT_LE(travelled, secondsSinceLaunch * kDegreesPerSecond + 0.01);
    }

    ASSERT_TRUE(stopBridge(bridge));
    EXPECT_EQ(bridge.output(), "");
}

TEST_F(SyntheticBridgeTest, RejectedCommandLineExitsWith2BeforeOpeningTheLink) {
    const struct {
        std::vector<std::string> args;
        std::string errorOutput;
    } cases[] = {
        {{"--x"}, kHint},
        {{"--bogus"}, std::string("Unknown option: --bogus\n") + kHint},
        {{"--radius", "--help"}, kHint},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.front());
        removeSharedMemory(kLinkName);
        ChildProcess bridge;
        ASSERT_TRUE(startBridge(bridge, c.args));
        EXPECT_EQ(bridge.wait(kExitTimeout), 2);
        EXPECT_EQ(normalised(bridge.errorOutput()), c.errorOutput);
        EXPECT_EQ(bridge.output(), "");
        EXPECT_FALSE(linkExists());
    }
}

TEST_F(SyntheticBridgeTest, HelpPrintsTheUsageAndExitsWith0) {
    const std::vector<std::string> cases[] = {{"--help"}, {"--orbit", "-h", "--bogus"}};
    for (const auto& args : cases) {
        SCOPED_TRACE(args.front());
        ChildProcess bridge;
        ASSERT_TRUE(startBridge(bridge, args));
        EXPECT_EQ(bridge.wait(kExitTimeout), 0);
        EXPECT_EQ(normalised(bridge.output()), kUsageText);
        EXPECT_EQ(bridge.errorOutput(), "");
        EXPECT_FALSE(linkExists());
    }
}

// The voice client keeps its mapping when the bridge stops, and must still
// see the last frame whole.
TEST_F(SyntheticBridgeTest, StopSignalEndsWith0AndLeavesTheLastFrame) {
    const struct {
        const char* name;
        bool (ChildProcess::*send)();
    } signals[] = {{"SIGINT", &ChildProcess::interrupt}, {"SIGTERM", &ChildProcess::terminate}};
    BridgeOptions options;
    options.identity = "Stopper";
    for (const auto& s : signals) {
        SCOPED_TRACE(s.name);
        removeSharedMemory(kLinkName);
        ChildProcess bridge;
        ASSERT_TRUE(startBridge(bridge, {"--identity", options.identity}));
        LinkProbe probe;
        LinkedMem before{};
        ASSERT_TRUE(awaitFrame(bridge, probe, 2, before));
        if (!(bridge.*s.send)()) GTEST_SKIP() << "No stop signals for other processes here.";
        EXPECT_EQ(bridge.wait(kExitTimeout), 0);
        EXPECT_EQ(bridge.output(), "");
        EXPECT_EQ(bridge.errorOutput(), "");

        const std::optional<LinkedMem> after = probe.read();
        ASSERT_TRUE(after);
        EXPECT_GE(after->uiTick, before.uiTick);
        EXPECT_TRUE(sameBytes(*after, expectedRecord(options, staticPose(options), after->uiTick)));
    }
}

TEST_F(SyntheticBridgeTest, ExistingLinkIsLeftAsItWasWhenTheGameIsMissing) {
    // Holding the object keeps it alive on Windows while the bridge opens it.
    SharedMemory existing;
    std::uint32_t code = 0;
    ASSERT_EQ(existing.openOrCreate(kLinkName, kLinkedMemSize, code), SharedMemory::Status::Ok)
        << "Win32 error " << code;
    ASSERT_TRUE(existing.created());
    unsigned char pattern[kLinkedMemSize];
    for (std::size_t i = 0; i < kLinkedMemSize; ++i) {
        pattern[i] = static_cast<unsigned char>(i * 131 + 7);
    }
    std::memcpy(existing.data(), pattern, kLinkedMemSize);

    ChildProcess bridge;
    ASSERT_TRUE(startBridge(bridge, {"--wow", "--identity", "Nobody"}));
    EXPECT_EQ(bridge.wait(kExitTimeout), 1);
    EXPECT_EQ(normalised(bridge.errorOutput()), "ERROR: Wow.exe was not found.\n");
    EXPECT_EQ(bridge.output(), "");
    EXPECT_EQ(std::memcmp(existing.data(), pattern, kLinkedMemSize), 0);
}

}  // namespace
}  // namespace corvane::testing
