// POSIX only: how the bridge stops on each signal, with a status line nobody
// reads, before its first cycle, and what it says when access is refused.

#include "tests/support/programs.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

namespace corvane::testing {
namespace {

using namespace std::chrono_literals;

// Whether the process has handlers in place for both SIGINT and SIGTERM.
bool stopHandlersInstalled(std::uint32_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string word; status >> word;) {
        if (word == "SigCgt:" && status >> word) return (std::stoull(word, nullptr, 16) & 0x4002) == 0x4002;
    }
    return false;
}

// The voice client keeps its view when the bridge stops and must still see the
// last frame whole. The live row's standard output is a pipe whose reader has
// gone: the status line is best effort, so the bridge keeps publishing.
TEST(Fault, StopSignalsEndWith0AtOnceAndLeaveTheLastFrame) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        const bool live = signal == SIGHUP;
        FakeGame game;
        ASSERT_TRUE(!live || game.start());
        ChildProcess bridge;
        bridge.brokenOutputPipe = live;
        LinkProbe probe;
        ASSERT_TRUE(startBridge(bridge, probe, std::vector<std::string>(live ? 1 : 0, "--wow")));
        const std::uint32_t tick = probe.read().value_or(LinkRecord{}).uiTick;
        const auto last = probe.waitFor([&](const LinkRecord& r) { return r.uiTick >= tick + 20; }, kStepTimeout);
        ASSERT_TRUE(last) << "stopped publishing";
        const auto signalled = std::chrono::steady_clock::now();
        ASSERT_TRUE(bridge.signal(signal));
        EXPECT_EQ(bridge.wait(kExitTimeout), 0);
        EXPECT_LT(std::chrono::steady_clock::now() - signalled, 1s);
        EXPECT_EQ(bridge.errorOutput(), "");
        const auto after = probe.read();
        ASSERT_TRUE(after);
        EXPECT_EQ(after->identity, U"CorvaneTest");
        EXPECT_EQ(after->fAvatarPosition[2], live ? 50001000.0f : 1.0f);
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(probe.read().value_or(LinkRecord{}).raw, after->raw);
    }
}

// The signal comes the moment both handlers are in place. Start-up then goes
// on to its end (the link is made and cleared), but nothing is published.
TEST(Fault, StopSignalBeforeTheFirstCycleEndsWith0AndPublishesNothing) {
    FakeGame game;  // live mode: attaching to it lengthens the start-up
    ASSERT_TRUE(game.start());
    int early = 0;
    for (int attempt = 0; attempt < 40 && early < 3; ++attempt) {
        ChildProcess bridge;
        std::string error;
        std::filesystem::remove("/dev/shm/MumbleLink." + std::to_string(getuid()));
        ASSERT_TRUE(bridge.start({bridgePath(), "--wow"}, error)) << error;
        while (!stopHandlersInstalled(bridge.id()) && bridge.running()) {
        }
        ASSERT_TRUE(bridge.signal(attempt % 2 == 0 ? SIGINT : SIGTERM));
        ASSERT_EQ(bridge.wait(kExitTimeout), 0) << bridge.errorOutput();
        if (!bridge.output().empty()) continue;  // too late: the first cycle always prints
        ++early;
        LinkProbe probe;
        ASSERT_TRUE(probe.open(error)) << error;
        const auto record = probe.read();
        ASSERT_TRUE(record);
        EXPECT_EQ(record->raw, std::vector<unsigned char>(kLinkLayout.size, 0));
    }
    // Signals sent this early nearly always land before the first cycle: a
    // first cycle in every run means it ignores the flag.
    EXPECT_GT(early, 0);
}

// Root may open anything, so the bridge runs as "nobody" here.
TEST(Fault, RefusedAccessIsWin32Error5) {
    const std::vector<std::string> nobody = asNobody();
    if (nobody.empty()) GTEST_SKIP() << "Needs root, to run the bridge as another user.";
    FakeGame game;  // ours: "nobody" may see it but not read it
    ASSERT_TRUE(game.start());
    const struct {
        std::vector<std::string> options;
        bool readOnlyLink;
        std::string error;
    } rows[] = {
        {{}, true, "ERROR: Could not open or create MumbleLink shared memory (Win32 error 5).\n"},
        {{"--wow"}, false, "ERROR: OpenProcess failed for Wow.exe (Win32 error 5).\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.error);
        const std::string link = "/dev/shm/MumbleLink." + nobody[1].substr(8);
        std::filesystem::remove(link);
        if (row.readOnlyLink) {
            std::ofstream(link) << std::string(10580, '\0');
            std::filesystem::permissions(link, std::filesystem::perms::owner_read);
        }
        std::vector<std::string> args = nobody;
        args.push_back(bridgePath());
        args.insert(args.end(), row.options.begin(), row.options.end());
        const Finished run = runToEnd(args);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.errorOutput, row.error);
        EXPECT_EQ(run.output, "");
    }
}

}  // namespace
}  // namespace corvane::testing
