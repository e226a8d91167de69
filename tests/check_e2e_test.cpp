// --check against real processes: each step breaks the chain in one place
// (no game, nobody reading, a bridge frozen at the link, a bridge gone) and
// the report names it with its exit code (3 the game, 4 the bridge, 5 the
// link, 6 the voice client, 0 when everything holds). The check changes nothing: with a
// bridge holding the link, its bytes, mode, owner and lock stay as they were.

#include "tests/support/programs.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <iterator>
#include <sstream>
#endif

#include <filesystem>
#include <string>
#include <tuple>

namespace corvane::testing {
namespace {

// The check's exit code and whether its report says `text`.
::testing::AssertionResult checkSays(const std::vector<std::string>& options, int code, const std::string& text) {
    std::vector<std::string> args{bridgePath(), "--check"};
    args.insert(args.end(), options.begin(), options.end());
    const Finished run = runToEnd(args);
    if (run.exitCode == code && run.output.find(text) != std::string::npos && run.errorOutput.empty()) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "exit " << run.exitCode.value_or(-1) << ", expected " << code << " and \""
                                         << text << "\":\n" << run.output << run.errorOutput;
}

#ifndef _WIN32
// What the check must leave as it is: the link's bytes, mode, owner and
// object, and the lock on it.
std::tuple<std::string, unsigned, unsigned, unsigned long, std::string> linkAsItIs() {
    const std::string path = "/dev/shm/MumbleLink." + std::to_string(getuid());
    struct stat info {};
    stat(path.c_str(), &info);
    std::ifstream link(path, std::ios::binary);
    std::ifstream locks("/proc/locks");
    std::string lock;
    for (std::string line; std::getline(locks, line);) {
        if (line.find(":" + std::to_string(info.st_ino) + " ") != std::string::npos) lock += line.substr(line.find(' '));
    }
    return {std::string(std::istreambuf_iterator<char>(link), {}), info.st_mode, info.st_uid,
            static_cast<unsigned long>(info.st_ino), lock};
}
#endif

TEST(Check, NamesTheBrokenLinkOfTheChain) {
    EXPECT_TRUE(checkSays({}, 3, "Game:          BROKEN. Wow.exe is not running."));
    EXPECT_TRUE(checkSays({"--json"}, 3, "\"brokenLink\":\"game\""));

    {
        FakeGame impostor;  // a program that only bears the game's name
        ASSERT_TRUE(impostor.start());
        if (impostor.ask("vanish") == "ok") {
            EXPECT_TRUE(checkSays({}, 3, "is no 3.3.5a client"));
        }
        impostor.process().kill();
        impostor.process().wait(kExitTimeout);
    }
    FakeGame game;
    ASSERT_TRUE(game.start());
    ASSERT_TRUE(game.send({"pos 100 200 30 0", "map 0", "guid 2A", "list 3 1", "state 1"}));
    ChildProcess bridge;
    {
        LinkProbe probe;
        ASSERT_TRUE(startBridge(bridge, probe, {"--wow", "--identity", "Oruli"}));
        // The settings the check is given are compared with what the bridge publishes.
#ifndef _WIN32
        const auto running = linkAsItIs();
#endif
        EXPECT_TRUE(checkSays({"--identity", "Oruli"}, 0, "is read: in the world on map 0 at 100.0 200.0 30.0."));
        EXPECT_TRUE(checkSays({"--identity", "Other"}, 5, "the settings say identity \"Other\""));
#ifndef _WIN32
        // All but the bytes, which the bridge rewrites meanwhile.
        const auto butTheBytes = [](auto link) { return (std::get<0>(link).clear(), link); };
        EXPECT_EQ(butTheBytes(linkAsItIs()), butTheBytes(running));

        // The link removed under the bridge, which makes it anew: the probe
        // still reads the old one.
        const std::string path = "/dev/shm/MumbleLink." + std::to_string(getuid());
        ASSERT_EQ(unlink(path.c_str()), 0);
        ASSERT_TRUE(pollUntil([&] { return access(path.c_str(), F_OK) == 0; }, kStepTimeout));
        EXPECT_TRUE(checkSays({}, 6, "still reads a link that was removed"));
#endif
    }
#ifndef _WIN32
    // The probe has let go: nobody reads the link, which the test's own PID
    // namespace (a sandbox, as the bridge sees it) cannot tell from a reader outside.
    EXPECT_TRUE(checkSays({}, 0, "Voice client:  unknown. The check runs in a sandbox"));

    // Frozen, it still holds the lock: the tick stands still.
    ASSERT_TRUE(bridge.signal(SIGSTOP));
    const auto before = linkAsItIs();
    EXPECT_TRUE(checkSays({}, 4, "holds the link, but its tick stands still"));
    EXPECT_EQ(linkAsItIs(), before);
    EXPECT_FALSE(std::get<4>(before).empty()) << "the bridge's lock";
    ASSERT_TRUE(bridge.signal(SIGCONT));
#endif

    LinkProbe probe;  // keeps a Windows link alive once the bridge has gone
    std::string error;
    ASSERT_TRUE(probe.open(error)) << error;
    EXPECT_TRUE(stopBridge(bridge));
    EXPECT_TRUE(checkSays({}, 4, "No bridge runs: the link's tick stands still"));
    game.process().kill();
    game.process().wait(kExitTimeout);
    EXPECT_TRUE(checkSays({}, 3, "Wow.exe is not running."));

    // Another build, beside the Windows builds.
    const auto other = std::filesystem::path(fakeGameProgram()).parent_path() / "build-15595" / "Wow.exe";
    if (!std::filesystem::exists(other)) return;
    FakeGame older;
    ASSERT_TRUE(older.start(fakeGameCommand(other.string())));
    EXPECT_TRUE(checkSays({}, 3, "is version 4.3.4.15595: this bridge reads 3.3.5a, build 12340."));
}

}  // namespace
}  // namespace corvane::testing
