#include "cli/start_line.h"
#include "cli/status_line.h"
#include "cli/sudo_notice.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace corvane {
namespace {

const std::string kPadding = "          ";

TEST(StatusLine, ShowsTheGameValuesAndThePublishedPosition) {
    const std::pair<std::string, std::string> rows[] = {
        {formatOnlineStatus({.x = 10, .y = 20, .z = 30, .guid = 0x2A, .connectionState = 1}, {10, 30, 20}),
         "ONLINE | state=1 | map=0 | GUID=0x2A | WoW=(10.00, 20.00, 30.00) | Mumble=(10.00, 30.00, 20.00)"},
        // Unsigned numbers, the byte as a number, all hexadecimal digits in upper case; rounded
        // as printf rounds: ties to even, 2.675f lies below 2.675, negatives keep "-".
        {formatOnlineStatus({.x = 0.125f, .y = 2.675f, .z = -0.0f, .guid = ~0ull, .mapId = 4294967295,
                             .connectionState = 255}, {-0.4f, 6750010.5f, 1.5f}),
         "ONLINE | state=255 | map=4294967295 | GUID=0xFFFFFFFFFFFFFFFF | WoW=(0.12, 2.67, -0.00)"
         " | Mumble=(-0.40, 6750010.50, 1.50)"},
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

// At 80 columns the offline line keeps 46 characters of its reason; a longer
// failure text is said in full once, and again only when it changes.
TEST(StatusLine, SaysACutFailureTextInFullOnceWhenItChanges) {
    const std::string refused = "OpenProcess failed for Wow.exe (Win32 error 5).";  // 47
    // (reason, console width) -> what goes to standard error, in this order on one printer
    const std::tuple<std::string, int, std::string> rows[] = {
        {refused, 0, ""}, {refused, 81, ""}, {refused.substr(1), 80, ""},
        {"waiting for Wow.exe and a reason that is no sentence at all", 80, ""},
        {refused, 80, "\n" + refused + "\n"}, {refused, 80, ""}, {"", 80, ""}, {refused, 40, ""},
        {"Process 4294967295 has exited.", 40, "\nProcess 4294967295 has exited.\n"},
        {refused, 80, "\n" + refused + "\n"},
    };
    FailureEcho echo;
    for (const auto& [label, width, said] : rows) {
        EXPECT_EQ(echo.next(label, width), said) << label << " at " << width;
    }
}

TEST(StartLine, SaysTheModeTheIdentityAndTheContext) {
    const std::string context = " in context \"CORVANE:WORLD:1\". Ctrl-C stops.\n";
    const std::string tail = " as \"CorvaneTest\"" + context;
    const std::string synthetic = "synthetic mode (standing at (0, 0, 1); add --wow to read the game)";
    const std::string own = "every player needs a name of their own: use your character's name.\n";
    const std::pair<BridgeOptions, std::string> rows[] = {
        {{}, synthetic + tail},
        {{.wow = true}, "live mode (reading Wow.exe)" + tail + "Every player without --identity shares the"
            " identity \"CorvaneTest\": start with --identity and your character's name.\n"},
        {{.identity = "Oruli", .context = "C", .wow = true, .pid = 1234, .identityGiven = true},
         "live mode (reading process 1234) as \"Oruli\" in context \"C\". Ctrl-C stops.\n"},
        // A name that is nobody's own: empty, the example's, or the default in live mode.
        {{.identity = "", .identityGiven = true},
         synthetic + " as \"\"" + context + "The identity is empty; " + own},
        {{.identity = "YourCharacterName", .wow = true, .wait = true, .identityGiven = true},
         "live mode (reading Wow.exe, waiting for it when it is not running) as \"YourCharacterName\"" +
             context + "The identity \"YourCharacterName\" is the example's placeholder; " + own},
        {{.wow = true, .identityGiven = true}, "live mode (reading Wow.exe)" + tail + "The identity"
            " \"CorvaneTest\" is the default that every player shares; " + own},
        {{.identity = "Oruli", .wow = true, .identityGiven = true, .command = {"wine", "/WoW 3.3.5/Wow.exe"}},
         "live mode (starting the game with: wine \"/WoW 3.3.5/Wow.exe\") as \"Oruli\"" + context},
    };
    for (const auto& [o, text] : rows) EXPECT_EQ(formatStartLine(o), "CorvaneVoiceBridge: " + text);
}

// Only root, started by another user through sudo, writes a link that user's voice client never reads.
TEST(StartLine, ABridgeStartedThroughSudoNamesTheLinkItsUserReads) {
    EXPECT_EQ(formatSudoNotice(0, "1000", "MumbleLink.0"),
              "Started through sudo, the bridge publishes to /MumbleLink.0, root's link; the voice"
              " client of user 1000 reads /MumbleLink.1000 and gets nothing from it.\nRun the bridge"
              " as that user instead: allow it to read the game once with `sudo setcap"
              " cap_sys_ptrace=ep ./CorvaneVoiceBridge`, or let it start the game:"
              " ./CorvaneVoiceBridge [options] -- GAME COMMAND\n");
    const std::pair<std::uint32_t, std::string> silent[] = {
        {1000, "1000"}, {0, ""}, {0, "0"}, {0, "00"}, {0, "x1"}, {0, "4294967296"}, {1000, "1001"}};
    for (const auto& [uid, sudoUid] : silent) {
        EXPECT_EQ(formatSudoNotice(uid, sudoUid, "MumbleLink.0"), "") << uid << " " << sudoUid;
    }
}

}  // namespace
}  // namespace corvane
