// Linux players run the Windows client under Wine and the native bridge beside
// it: here the Windows build of the fake game (CORVANE_WINDOWS_GAME, set by the
// test preset linux-wine) runs under wine64 in a private prefix, and the
// native bridge must find it, read it and publish to the native link.

#include "tests/support/programs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace corvane::testing {
namespace {

std::string procFile(std::uint32_t pid, const char* name) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(WineGame, NativeBridgeReadsTheWindowsGameUnderWine) {
    const char* windowsGame = std::getenv("CORVANE_WINDOWS_GAME");
    ASSERT_TRUE(windowsGame != nullptr && std::filesystem::exists(windowsGame))
        << "CORVANE_WINDOWS_GAME must name the Windows build's Wow.exe.";
    char prefix[] = "/tmp/corvane-wine-e2e.XXXXXX";
    ASSERT_NE(mkdtemp(prefix), nullptr);
    setenv("WINEPREFIX", prefix, 1);
    setenv("WINEDEBUG", "-all", 1);
    {
        FakeGame game;  // the first program of a prefix makes it
        ASSERT_TRUE(game.start({"/usr/lib/wine/wine64", windowsGame}));
        // What Linux shows of the game; the bridge goes by the name alone.
        EXPECT_EQ(procFile(game.process().id(), "comm"), "Wow.exe\n");
        std::cout << "cmdline: " << procFile(game.process().id(), "cmdline") << "\n";
        ASSERT_TRUE(game.send({"pos 100 200 10 0", "map 1", "state 1"}));

        ChildProcess bridge;
        LinkProbe probe;
        // Zhanna, isolated at (50035000, 0, 50192000).
        ASSERT_TRUE(startBridge(bridge, probe, {"--wow", "--identity",
            "\xD0\x96\xD0\xB0\xD0\xBD\xD0\xBD\xD0\xB0", "--context", "CORVANE:WINE"}));
        const auto placed = probe.waitFor(
            [](const LinkRecord& r) { return r.fAvatarPosition[0] < 1000000.0f; }, kStepTimeout);
        ASSERT_TRUE(placed);
        EXPECT_GE(placed->uiTick, 5u);
        expectPose(*placed, {250091.44f, 9.144f, 182.88f, 1, 0, 0}, 1e-2f);
        EXPECT_EQ(placed->identity, U"\u0416\u0430\u043D\u043D\u0430");
        EXPECT_EQ(placed->context, "CORVANE:WINE");
        EXPECT_TRUE(bridge.waitForOutput([](const std::string& out) {
            return out.find("\rONLINE | state=1 | map=1 | GUID=0x2A | WoW=(100.00, 200.00, 10.00) "
                            "| Mumble=(250091.44, 9.14, 182.88)          ") != std::string::npos;
        }, kStepTimeout)) << bridge.output();

        // The game's end isolates the character with the reader's reason.
        game.process().kill();
        EXPECT_TRUE(bridge.waitForOutput([](const std::string& out) {
            return out.ends_with("\rOFFLINE/GLUE SCREEN | isolated | Could not read "
                                 "g_ClientConnectionState. | Mumble=(50035000, 0, 50192000)          ");
        }, kStepTimeout)) << bridge.output();
        EXPECT_TRUE(stopBridge(bridge));
    }
    runToEnd({"/usr/lib/wine/wineserver", "-k"});
    std::filesystem::remove_all(prefix);
}

}  // namespace
}  // namespace corvane::testing
