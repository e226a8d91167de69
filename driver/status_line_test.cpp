#include "driver/start_line.h"
#include "driver/status_line.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace corvane {
namespace {

const std::string kPadding = "          ";

TEST(StatusLine, ShowsTheGameValuesAndThePublishedPosition) {
    const std::pair<std::string, std::string> rows[] = {
        {formatOnlineStatus({.x = 10, .y = 20, .z = 30, .guid = 0x2A, .connectionState = 1},
                            {10, 30, 20}),
         "ONLINE | state=1 | map=0 | GUID=0x2A | WoW=(10.00, 20.00, 30.00)"
         " | Mumble=(10.00, 30.00, 20.00)"},
        // Unsigned numbers, the byte as a number, all hexadecimal digits in upper case; rounded
        // as printf rounds: ties to even, 2.675f lies below 2.675, negatives keep "-".
        {formatOnlineStatus({.x = 0.125f, .y = 2.675f, .z = -0.0f, .guid = ~0ull,
                             .mapId = 4294967295, .connectionState = 255},
                            {-0.4f, 6750010.5f, 1.5f}),
         "ONLINE | state=255 | map=4294967295 | GUID=0xFFFFFFFFFFFFFFFF | WoW=(0.12, 2.67, -0.00)"
         " | Mumble=(-0.40, 6750010.50, 1.50)"},
        {formatOfflineStatus("not in world", {10, 30, 20}),
         "OFFLINE/GLUE SCREEN | isolated | not in world | Mumble=(10, 30, 20)"},
        {formatOfflineStatus("Could not read g_ClientConnectionState.", {2.5f, -0.4f, 50001000}),
         "OFFLINE/GLUE SCREEN | isolated | Could not read g_ClientConnectionState."
         " | Mumble=(2, -0, 50001000)"},
    };
    for (const auto& [line, text] : rows) EXPECT_EQ(line, "\r" + text + kPadding);
}

TEST(StatusLine, StaysOnOneConsoleRowAndCoversThePreviousLine) {
    const std::string northrend =  // 137 characters after the carriage return
        "\rONLINE | state=1 | map=571 | GUID=0x1000001C8A3F | WoW=(-5804.14, -2624.77, 1647.77)"
        " | Mumble=(6744692.50, 1506.72, 4247600.00)" + kPadding;
    // (line, previous line's length, console width; 0 is no console) -> what is written
    const std::tuple<std::string, std::size_t, int, std::string> rows[] = {
        {"\rABC", 50, 0, "\rABC"}, {"\rABC", 6, 80, "\rABC   "}, {"\rABCDEFGH", 2, 5, "\rABCD"},
        {"\rABCDE", 0, 5, "\rABCD"}, {"\rABCD", 0, 5, "\rABCD"}, {"\rAB", 100, 5, "\rAB  "},
        {"\rABC", 3, 1, "\r"}, {northrend, 0, 200, northrend},
        {northrend, 0, 120, northrend.substr(0, 85) + " | Mumble=(6744692.50, 1506.72, 424"},
    };
    for (const auto& [line, previous, width, fitted] : rows) {
        EXPECT_EQ(fitStatusLine(line, previous, width), fitted) << line << " at " << width;
    }
}

TEST(StartLine, SaysTheModeTheIdentityAndTheContext) {
    const std::string tail = " as \"CorvaneTest\" in context \"CORVANE:WORLD:1\". Ctrl-C stops.\n";
    const std::pair<BridgeOptions, std::string> rows[] = {
        {{}, "synthetic mode (standing at (0, 0, 1); add --wow to read the game)" + tail},
        {{.wow = true}, "live mode (reading Wow.exe)" + tail +
                            "Every player without --identity shares the identity \"CorvaneTest\":"
                            " start with --identity and your character's name.\n"},
        {{.identity = "Oruli", .context = "C", .wow = true, .pid = 1234, .identityGiven = true},
         "live mode (reading process 1234) as \"Oruli\" in context \"C\". Ctrl-C stops.\n"},
        {{.wow = true, .identityGiven = true, .command = {"wine", "/games/World of Warcraft/Wow.exe"}},
         "live mode (starting the game with: wine \"/games/World of Warcraft/Wow.exe\")" + tail},
    };
    for (const auto& [o, text] : rows) EXPECT_EQ(formatStartLine(o), "CorvaneVoiceBridge: " + text);
}

}  // namespace
}  // namespace corvane
