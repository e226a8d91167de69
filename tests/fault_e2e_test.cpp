// POSIX only: how the bridge stops on each signal, also while nobody reads its
// status line and before its first cycle, and what it says when refused access.

#include "tests/support/programs.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>

namespace corvane::testing {
namespace {

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
        ASSERT_TRUE(startBridge(bridge, probe, std::vector<std::string>(live, "--wow")));
        const std::uint32_t tick = probe.read().value_or(LinkRecord{}).uiTick;
        ASSERT_TRUE(probe.waitFor([&](const LinkRecord& r) { return r.uiTick >= tick + 20; },
                                  kStepTimeout)) << "stopped publishing";
        const auto signalled = std::chrono::steady_clock::now();
        ASSERT_TRUE(bridge.signal(signal));
        EXPECT_EQ(bridge.wait(kExitTimeout), 0);
        EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds{1});
        EXPECT_EQ(bridge.errorOutput(), "");
        const auto last = probe.read().value_or(LinkRecord{});
        EXPECT_EQ(last.identity, U"CorvaneTest");
        EXPECT_EQ(last.fAvatarPosition[2], live ? 50001000.0f : 1.0f);
    }
}

// The signal comes the moment both handlers are in place (SigCgt bits 2 and
// 15). Start-up then goes on to its end, making the link, but publishes nothing.
TEST(Fault, StopSignalBeforeTheFirstCycleEndsWith0AndPublishesNothing) {
    FakeGame game;  // live mode: attaching to it lengthens the start-up
    ASSERT_TRUE(game.start());
    int early = 0;
    for (int attempt = 0; attempt < 40 && early < 3; ++attempt) {
        ChildProcess bridge;
        std::string error;
        std::filesystem::remove("/dev/shm/MumbleLink." + std::to_string(getuid()));
        ASSERT_TRUE(bridge.start({bridgePath(), "--wow"}, error)) << error;
        for (unsigned long long caught = 0; (caught & 0x4002) != 0x4002 && bridge.running();) {
            std::ifstream status("/proc/" + std::to_string(bridge.id()) + "/status");
            std::string word;
            while (status >> word && word != "SigCgt:") {}
            caught = status >> word ? std::stoull(word, nullptr, 16) : 0;
        }
        ASSERT_TRUE(bridge.signal(attempt % 2 == 0 ? SIGINT : SIGTERM));
        ASSERT_EQ(bridge.wait(kExitTimeout), 0) << bridge.errorOutput();
        if (!bridge.output().empty()) continue;  // too late: the first cycle always prints
        ++early;
        LinkProbe probe;
        ASSERT_TRUE(probe.open(error)) << error;
        EXPECT_EQ(probe.read().value_or(LinkRecord{}).raw, std::vector<unsigned char>(10580, 0));
    }
    // Signals this early nearly always come before the first cycle.
    EXPECT_GT(early, 0) << "the first cycle ran in every run stopped before it";
}

// Root may open anything, so the bridge runs as "nobody" here (where we are
// root of the whole machine, not of a user namespace), its link left
// read-only by someone else, or its game not its own.
TEST(Fault, RefusedAccessIsWin32Error5) {
    std::ifstream uids("/proc/self/uid_map");
    std::string map;
    std::getline(uids, map);
    const passwd* user = getpwnam("nobody");
    if (geteuid() != 0 || user == nullptr || map.find("4294967295") == map.npos) {
        GTEST_SKIP() << "Needs root, to run the bridge as another user.";
    }
    const std::vector<std::string> nobody = {"/usr/bin/setpriv", "--reuid=" + std::to_string(user->pw_uid),
        "--regid=" + std::to_string(user->pw_gid), "--clear-groups", "--"};
    FakeGame game;
    ASSERT_TRUE(game.start());
    const std::string link = "/dev/shm/MumbleLink." + nobody[1].substr(8);
    for (const bool wow : {false, true}) {
        std::filesystem::remove(link);
        if (!wow) std::ofstream(link) << std::string(10580, '\0');
        std::vector<std::string> args = nobody;
        args.push_back(bridgePath());
        if (wow) args.push_back("--wow");
        const Finished run = runToEnd(args);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.errorOutput, wow ? "ERROR: OpenProcess failed for Wow.exe (Win32 error 5).\n"
            : "ERROR: Could not open or create MumbleLink shared memory (Win32 error 5).\n");
        EXPECT_EQ(run.output, "");
    }
}

}  // namespace
}  // namespace corvane::testing
