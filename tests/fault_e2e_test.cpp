// What the bridge survives, and what it says when it cannot go on: the game
// going away under it, a link object it cannot use, a game it may not read,
// and a stop signal at any point of its run. Never a crash, never a false
// success.

#include "driver/poses.h"
#include "driver/status_line.h"
#include "game/game_reader.h"
#include "link/linked_mem.h"
#include "link/shared_memory.h"
#include "tests/fault_platform.h"
#include "tests/support/child_process.h"
#include "tests/support/link_probe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace corvane::testing {
namespace {

using namespace std::chrono_literals;

constexpr auto kStartTimeout = 15s;  // wine's first process is slow
constexpr auto kStepTimeout = 5s;
constexpr auto kExitTimeout = 10s;
constexpr char kIdentity[] = "FaultTester";
constexpr char kPadding[] = "          ";
constexpr char kGameReadError[] = "Could not read g_ClientConnectionState.";

std::string bridgePath() { return siblingProgram("CorvaneVoiceBridge"); }

// Standard error as the program meant it: wine's C runtime writes "\r\n".
std::string plain(std::string text) {
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
        text.erase(at, 1);
    }
    return text;
}

Vec3 avatarOf(const LinkedMem& record) {
    return {record.fAvatarPosition[0], record.fAvatarPosition[1], record.fAvatarPosition[2]};
}

// A text field up to its first NUL unit, never beyond the field.
template <std::size_t N>
std::u16string_view textOf(const char16_t (&field)[N]) {
    return std::u16string_view(field, N).substr(0, std::u16string_view(field, N).find(u'\0'));
}

// A complete frame of ours: nothing half-written or foreign in the record.
::testing::AssertionResult isWholeFrame(const LinkedMem& record) {
    if (record.uiVersion == 2 && textOf(record.name) == u"Corvane Voice Bridge" &&
        textOf(record.identity) == u"FaultTester" &&
        record.context_len == 15) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "uiTick " << record.uiTick << " is no whole frame";
}

// The fake game client, steered one command per line.
class Game {
public:
    ::testing::AssertionResult start() {
        std::string path = siblingProgram("Wow");  // Wow.exe on every platform
        if (!path.ends_with(".exe")) path += ".exe";
        std::string error;
        if (!process_.start({path}, error)) return ::testing::AssertionFailure() << error;
        return answer("ready");
    }

    ::testing::AssertionResult send(std::initializer_list<std::string_view> commands) {
        for (std::string_view command : commands) {
            if (!process_.writeInput(std::string(command) + "\n")) {
                return ::testing::AssertionFailure() << "Could not send " << command;
            }
            if (auto result = answer("ok"); !result) return result << " (" << command << ")";
        }
        return ::testing::AssertionSuccess();
    }

    ChildProcess& process() { return process_; }

private:
    ::testing::AssertionResult answer(std::string_view expected) {
        const auto answered = [this](const std::string& out) {
            return out.find('\n', consumed_) != std::string::npos;
        };
        if (!process_.waitForOutput(answered, kStartTimeout)) {
            return ::testing::AssertionFailure() << "The fake game did not answer; "
                                                 << process_.errorOutput();
        }
        const std::string out = process_.output();
        const std::size_t end = out.find('\n', consumed_);
        std::string line = out.substr(consumed_, end - consumed_);
        consumed_ = end + 1;
        if (line.ends_with('\r')) line.pop_back();
        if (line == expected) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "The fake game answered \"" << line << "\"";
    }

    ChildProcess process_;
    std::size_t consumed_ = 0;
};

class FaultTest : public ::testing::Test {
protected:
    void SetUp() override {
        removeSharedMemory(kLinkName);
        GameReader reader;
        ASSERT_FALSE(reader.attach(L"Wow.exe")) << "Another Wow.exe is running.";
    }
    void TearDown() override { removeSharedMemory(kLinkName); }

    // Starts the bridge and waits for its first frame.
    static ::testing::AssertionResult startBridge(ChildProcess& bridge, LinkProbe& probe,
                                                  std::vector<std::string> options) {
        std::vector<std::string> args = {bridgePath(), "--identity", kIdentity};
        args.insert(args.end(), options.begin(), options.end());
        std::string error;
        if (!bridge.start(args, error)) return ::testing::AssertionFailure() << error;
        const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
        while (!probe.open(error)) {
            if (!bridge.running() || std::chrono::steady_clock::now() > deadline) {
                return ::testing::AssertionFailure() << "No link: " << bridge.errorOutput();
            }
            std::this_thread::sleep_for(2ms);
        }
        if (probe.waitFor([](const LinkedMem& r) { return r.uiTick >= 1; }, kStartTimeout)) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "No frame was published.";
    }

    // SIGINT where processes can be sent one (exit code 0 expected), else the
    // bridge is simply ended.
    static void stop(ChildProcess& bridge) {
        if (bridge.interrupt()) {
            EXPECT_EQ(bridge.wait(kExitTimeout), 0);
        } else {
            bridge.kill();
            EXPECT_TRUE(bridge.wait(kExitTimeout));
        }
        EXPECT_EQ(bridge.errorOutput(), "");
    }
};

// A run that cannot be allowed: as "nobody" where the test is root (root may
// open anything), as ourselves elsewhere.
bool runRefused(const std::vector<std::string>& args, Finished& finished, std::string& error) {
    if (canRunAsNobody()) return runAsNobody(args, kExitTimeout, finished, error);
    ChildProcess child;
    if (!child.start(args, error)) return false;
    finished.exitCode = child.wait(kExitTimeout);
    finished.output = child.output();
    finished.errorOutput = child.errorOutput();
    return true;
}

enum class GameEnd { Exits, Killed };

class GameGoesAwayTest : public FaultTest, public ::testing::WithParamInterface<GameEnd> {};

TEST_P(GameGoesAwayTest, BridgeKeepsPublishingTheIsolationWithTheReadError) {
    Game game;
    ASSERT_TRUE(game.start());
    ASSERT_TRUE(game.send({"pos 100 200 30 0", "map 1", "guid 2A", "list 5 2", "state 1"}));
    ChildProcess bridge;
    LinkProbe probe;
    ASSERT_TRUE(startBridge(bridge, probe, {"--wow"}));
    const Vec3 isolation = isolationPose(kIdentity).avatarPosition;
    ASSERT_TRUE(probe.waitFor([&](const LinkedMem& r) { return avatarOf(r) != isolation; },
                              kStepTimeout))
        << "The character was never placed.";

    if (GetParam() == GameEnd::Exits) {
        ASSERT_TRUE(game.process().writeInput("exit 0\n"));
    } else {
        game.process().kill();
    }
    ASSERT_TRUE(game.process().wait(kExitTimeout));

    const auto isolated =
        probe.waitFor([&](const LinkedMem& r) { return avatarOf(r) == isolation; }, kStepTimeout);
    ASSERT_TRUE(isolated);
    // It goes on publishing, frame after frame, at the isolation position.
    const std::uint32_t tick = isolated->uiTick;
    const auto later =
        probe.waitFor([&](const LinkedMem& r) { return r.uiTick >= tick + 25; }, kStepTimeout);
    ASSERT_TRUE(later);
    EXPECT_EQ(avatarOf(*later), isolation);
    EXPECT_TRUE(isWholeFrame(*later));
    const std::string line = formatOfflineStatus(kGameReadError, isolation);
    EXPECT_TRUE(bridge.waitForOutput(
        [&](const std::string& out) { return out.find(line) != std::string::npos; }, kStepTimeout))
        << "No status line \"" << line << "\"";
    EXPECT_TRUE(bridge.running());
    stop(bridge);
}

INSTANTIATE_TEST_SUITE_P(Both, GameGoesAwayTest, ::testing::Values(GameEnd::Exits, GameEnd::Killed),
                         [](const auto& param) {
                             return param.param == GameEnd::Exits ? "Exits" : "IsKilled";
                         });

TEST_F(FaultTest, LinkSmallerThanTheRecordIsRefusedAndLeftAlone) {
    SharedMemory small;
    std::uint32_t code = 0;
    ASSERT_EQ(small.openOrCreate(kLinkName, 100, code), SharedMemory::Status::Ok) << code;
    std::memset(small.data(), 0x5A, 100);

    ChildProcess bridge;
    std::string error;
    ASSERT_TRUE(bridge.start({bridgePath()}, error)) << error;
    EXPECT_EQ(bridge.wait(kExitTimeout), 1);
    EXPECT_EQ(plain(bridge.errorOutput()),
              "ERROR: Could not map MumbleLink shared memory (Win32 error 5).\n");
    EXPECT_EQ(bridge.output(), "");
    const auto* bytes = static_cast<const unsigned char*>(small.data());
    for (int i = 0; i < 100; ++i) ASSERT_EQ(bytes[i], 0x5A) << "byte " << i;
}

TEST_F(FaultTest, LinkOfAnotherUserIsRefused) {
    if (!canRunAsNobody()) GTEST_SKIP() << "Needs root, to run the bridge as another user.";
    SharedMemory link;  // ours, 0600
    std::uint32_t code = 0;
    ASSERT_EQ(link.openOrCreate(kLinkName, kLinkedMemSize, code), SharedMemory::Status::Ok);

    Finished run;
    std::string error;
    ASSERT_TRUE(runAsNobody({bridgePath()}, kExitTimeout, run, error)) << error;
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.errorOutput,
              "ERROR: Could not open or create MumbleLink shared memory (Win32 error 5).\n");
    EXPECT_EQ(run.output, "");
}

class LinkModeTest : public FaultTest, public ::testing::WithParamInterface<unsigned> {};

TEST_P(LinkModeTest, LinkThatCannotBeOpenedForWritingIsRefused) {
    SharedMemory link;
    std::uint32_t code = 0;
    ASSERT_EQ(link.openOrCreate(kLinkName, kLinkedMemSize, code), SharedMemory::Status::Ok);
    std::string error;
    if (!setSharedMemoryAccess(kLinkName, canRunAsNobody(), GetParam(), error)) {
        GTEST_SKIP() << error;
    }

    Finished run;
    ASSERT_TRUE(runRefused({bridgePath()}, run, error)) << error;
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.errorOutput,
              "ERROR: Could not open or create MumbleLink shared memory (Win32 error 5).\n");
    EXPECT_EQ(run.output, "");
}

INSTANTIATE_TEST_SUITE_P(Modes, LinkModeTest, ::testing::Values(0000u, 0400u),
                         [](const auto& param) {
                             return param.param == 0 ? "NoAccess" : "ReadOnly";
                         });

TEST_F(FaultTest, GameThatMayNotBeReadStopsTheStartWithOpenProcessError5) {
    if (!canRunAsNobody()) GTEST_SKIP() << "Needs root, to run the bridge as another user.";
    Game game;  // ours; "nobody" may see it but not read it
    ASSERT_TRUE(game.start());

    Finished run;
    std::string error;
    ASSERT_TRUE(runAsNobody({bridgePath(), "--wow"}, kExitTimeout, run, error)) << error;
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.errorOutput, "ERROR: OpenProcess failed for Wow.exe (Win32 error 5).\n");
    EXPECT_EQ(run.output, "");
}

TEST_F(FaultTest, StopSignalBeforeTheFirstCycleEndsWithZeroAndPublishesNothing) {
    Game game;  // live mode: attaching to it lengthens the start-up
    ASSERT_TRUE(game.start());
    int early = 0;
    for (int attempt = 0; attempt < 40 && early < 3; ++attempt) {
        removeSharedMemory(kLinkName);
        ChildProcess bridge;
        std::string error;
        ASSERT_TRUE(bridge.start({bridgePath(), "--wow", "--identity", kIdentity}, error)) << error;
        // Signal the moment both handlers are in place.
        for (;;) {
            const std::optional<bool> installed = stopHandlersInstalled(bridge.id());
            if (!installed && bridge.running()) GTEST_SKIP() << "Cannot see signal handlers here.";
            if (installed.value_or(true)) break;
        }
        ASSERT_TRUE(attempt % 2 == 0 ? bridge.interrupt() : bridge.terminate());
        ASSERT_EQ(bridge.wait(kExitTimeout), 0) << bridge.errorOutput();
        EXPECT_EQ(bridge.errorOutput(), "");
        if (!bridge.output().empty()) continue;  // too late: the first cycle always prints

        ++early;
        // Start-up went on to the end (the link was made and cleared), but
        // nothing was published.
        LinkProbe probe;
        ASSERT_TRUE(probe.open(error)) << error;
        const auto record = probe.read();
        ASSERT_TRUE(record);
        const LinkedMem empty{};
        EXPECT_EQ(std::memcmp(&*record, &empty, sizeof empty), 0) << "uiTick " << record->uiTick;
    }
    RecordProperty("landedBeforeTheFirstCycle", early);
    if (early == 0) GTEST_SKIP() << "The signal never arrived before the first cycle.";
}

TEST_F(FaultTest, StopSignalDuringACycleLetsItFinishAndEndsWithZero) {
    Game game;
    ASSERT_TRUE(game.start());
    // Every cycle walks 8192 objects without finding the player: long cycles.
    ASSERT_TRUE(game.send({"guid 2A", "list 9000 9000", "state 1"}));
    ChildProcess bridge;
    LinkProbe probe;
    ASSERT_TRUE(startBridge(bridge, probe, {"--wow"}));
    if (!schedulerState(bridge.id())) GTEST_SKIP() << "Cannot see a process's state here.";

    const auto deadline = std::chrono::steady_clock::now() + kStepTimeout;
    while (schedulerState(bridge.id()) != 'R' && std::chrono::steady_clock::now() < deadline) {
    }
    ASSERT_TRUE(bridge.interrupt());
    ASSERT_EQ(bridge.wait(kExitTimeout), 0);
    EXPECT_EQ(bridge.errorOutput(), "");
    EXPECT_TRUE(bridge.output().ends_with(kPadding));
    const auto record = probe.read();
    ASSERT_TRUE(record);
    EXPECT_TRUE(isWholeFrame(*record));
    EXPECT_EQ(avatarOf(*record), isolationPose(kIdentity).avatarPosition);
}

TEST_F(FaultTest, StopSignalDuringThePauseEndsWithZeroAtOnce) {
    Game game;  // on the glue screen: short cycles, long pauses
    ASSERT_TRUE(game.start());
    ChildProcess bridge;
    LinkProbe probe;
    ASSERT_TRUE(startBridge(bridge, probe, {"--wow"}));
    if (!schedulerState(bridge.id())) GTEST_SKIP() << "Cannot see a process's state here.";
    ASSERT_TRUE(probe.waitFor([](const LinkedMem& r) { return r.uiTick >= 5; }, kStepTimeout));

    const auto deadline = std::chrono::steady_clock::now() + kStepTimeout;
    while (schedulerState(bridge.id()) != 'S' && std::chrono::steady_clock::now() < deadline) {
    }
    const auto signalled = std::chrono::steady_clock::now();
    ASSERT_TRUE(bridge.terminate());
    ASSERT_EQ(bridge.wait(kExitTimeout), 0);
    // The pause ends, the flag is seen, and the run ends: no more than a
    // cycle or two even on a loaded machine.
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, 1s);
    EXPECT_EQ(bridge.errorOutput(), "");
    const auto record = probe.read();
    ASSERT_TRUE(record);
    EXPECT_TRUE(isWholeFrame(*record));
}

}  // namespace
}  // namespace corvane::testing
