#include "cli/options.h"

#include <gtest/gtest.h>

#include <bit>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace corvane {
namespace {

// Floats by their bits, so -0 and rounding show.
auto bitsOf(const BridgeOptions& o) {
    const auto b = [](float f) { return std::bit_cast<unsigned>(f); };
    return std::tuple(o.identity, o.context, b(o.x), b(o.y), b(o.z), b(o.yaw), o.orbit, b(o.radius),
                      b(o.speed), o.wow, b(o.wowScale), o.identityGiven, o.wait, o.pid, o.logFile,
                      o.command);
}

TEST(ParseCommandLine, EveryArgumentVectorGivesItsOutcomeFieldsAndMessage) {
    using enum ParseOutcome;
    // A missing or bad value gets no message of the parser's own; fields set before stay.
    const struct { std::vector<std::string> args; ParseOutcome outcome; BridgeOptions fields = {};
                   std::string err = ""; } rows[] = {
        {{}, Run},
        {{"--wow", "--wow", "--orbit", "--wow-scale", "1"}, Run,
         {.orbit = true, .wow = true, .wowScale = 1}},
        {{"--x", "-5", "--y", "2.5abc", "--z", "-0", "--yaw", "  90", "--radius", "-3", "--speed",
          "0x1p-2"}, Run, {.x = -5, .y = 2.5f, .z = -0.f, .yaw = 90, .radius = -3, .speed = .25f}},
        {{"--identity", "", "--context", "--wow"}, Run,
         {.identity = "", .context = "--wow", .identityGiven = true}},
        {{"--x", "1", "--x", "2", "--identity", "A", "--identity", " \xC3\xA9\xFF A:B"}, Run,
         {.identity = " \xC3\xA9\xFF A:B", .x = 2, .identityGiven = true}},
        {{"--speed", "3.4028235e38"}, Run, {.speed = 3.4028235e38f}}, {{"--radius", ""}, Invalid},
        {{"--radius", "3.4028236e38"}, Invalid}, {{"--radius", "1e-50"}, Invalid},
        {{"--radius", "--help"}, Invalid}, {{"--x", "3", "--y"}, Invalid, {.x = 3}},
        {{"--wow", "--context"}, Invalid, {.wow = true}}, {{"--config"}, Invalid},
        // Not finite: refused on every numeric option.
        {{"--wow-scale", "nan"}, Invalid}, {{"--x", "3", "--x", "inf"}, Invalid, {.x = 3}},
        {{"--y", "-infinity"}, Invalid}, {{"--z", "0x1p999"}, Invalid}, {{"--yaw", " NAN(1)"}, Invalid},
        {{"--radius", "-INF"}, Invalid}, {{"--speed", "infinity"}, Invalid},
        {{"--wait", "--pid", "1", "--pid", "4294967295"}, Run, {.wait = true, .pid = 4294967295u}},
        {{"--pid", "0"}, Invalid}, {{"--pid", "4294967296"}, Invalid}, {{"--pid", "-1"}, Invalid},
        {{"--pid", "12x"}, Invalid}, {{"--pid", " 12"}, Invalid}, {{"--pid", ""}, Invalid},
        {{"--log", "a.log", "--log", "C:\\b c.log"}, Run, {.logFile = "C:\\b c.log"}},
        {{"--log", ""}, Invalid},
        // After "--" everything is the game's command, as it is; it needs one.
        {{"--x", "1", "--", "game", "--x", "-h", ""}, Run,
         {.x = 1, .wow = true, .wait = true, .command = {"game", "--x", "-h", ""}}},
        {{"--orbit", "--"}, Invalid, {.orbit = true}},
        // A bad line still finds the game's command: the first "--" past the
        // bad option, also one it would have taken as its value; and a log
        // named past it, so that the error reaches the log.
        {{"--bogus", "--log", "b.log", "--log", "--", "game", "-x"}, Invalid,
         {.wow = true, .wait = true, .logFile = "b.log", .command = {"game", "-x"}}, "Unknown option: --bogus\n"},
        {{"--pid", "0", "--"}, Invalid},
        // A "--" with words after it is never an option's value: that option
        // has none (the game still starts); last of all it is a value.
        {{"--context", "--", "--x", "--", "game"}, Invalid,
         {.wow = true, .wait = true, .command = {"--x", "--", "game"}}},
        {{"--identity", "--", "game"}, Invalid, {.wow = true, .wait = true, .command = {"game"}}},
        {{"--log", "--", "game"}, Invalid, {.wow = true, .wait = true, .command = {"game"}}},
        {{"--config", "--", "game"}, Invalid, {.wow = true, .wait = true, .command = {"game"}}},
        {{"--identity", "--"}, Run, {.identity = "--", .identityGiven = true}},
        {{"--json", "--", "game"}, Invalid, {.wow = true, .wait = true, .command = {"game"}}},  // refused whole
        // Help stops at once, but a game command after it still runs; an unknown argument is named.
        {{"--help"}, Help}, {{"-h"}, Help}, {{"--x", "1", "-h", "--bogus"}, Help, {.x = 1}},
        {{"--help", "--", "game"}, Help, {.wow = true, .wait = true, .command = {"game"}}},
        {{"--version", "--x", "--", "game"}, Version, {.wow = true, .wait = true, .command = {"game"}}},
        {{"--wow", "--version", "--bogus"}, Version, {.wow = true}}, {{"--version", "-h"}, Version},
        {{"--bogus", "--help"}, Invalid, {}, "Unknown option: --bogus\n"},
        {{"--x", "1", "--Speed", "2"}, Invalid, {.x = 1}, "Unknown option: --Speed\n"},
        {{""}, Invalid, {}, "Unknown option: \n"}, {{"-hw"}, Invalid, {}, "Unknown option: -hw\n"},
        {{"--wow "}, Invalid, {}, "Unknown option: --wow \n"},
        {{"--x=1"}, Invalid, {}, "Unknown option: --x=1\n"},
    };
    // The documented defaults (0.9144 as the nearest float, bits 0x3F6A161E); rows change fields.
    EXPECT_EQ(bitsOf({}), std::tuple("CorvaneTest", "CORVANE:WORLD:1", 0u, 0u, 0x3F800000u, 0u,
                                     false, 0x41000000u, 0x41C80000u, false, 0x3F6A161Eu, false,
                                     false, 0u, "", std::vector<std::string>{}));
    for (const auto& row : rows) {
        std::vector<const char*> argv{"CorvaneVoiceBridge"};
        for (const auto& arg : row.args) argv.push_back(arg.c_str());
        argv.push_back(nullptr);
        BridgeOptions options;
        std::ostringstream err;
        const auto outcome = parseCommandLine(static_cast<int>(argv.size() - 1), argv.data(), options, err);
        EXPECT_EQ(std::tuple(outcome, bitsOf(options), err.str()),
                  std::tuple(row.outcome, bitsOf(row.fields), row.err)) << ::testing::PrintToString(row.args);
    }
}

// A settings file's lines go through the same checks; a refused value is named.
TEST(ApplySettings, EveryTextGivesItsFieldsOrItsLineAndError) {
    const struct { std::string text; int line; std::string error; BridgeOptions fields = {};
                   std::string warned = ""; } rows[] = {
        {"wow = yes\nwait = yes\norbit = yes\nidentity = A B\ncontext =\nwow-scale = 1\n"
         "x = -5\ny = 2\nz = 3\nyaw = 90\nradius = 4\nspeed = 5\npid = 42\nwait = no", 0, "",
         {.identity = "A B", .context = "", .x = -5, .y = 2, .z = 3, .yaw = 90, .orbit = true,
          .radius = 4, .speed = 5, .wow = true, .wowScale = 1, .pid = 42, .identityGiven = true}},
        {"x = 1\nIdentity = A\nIdentiy = B", 3, "unknown setting \"identiy\"",
         {.identity = "A", .x = 1, .identityGiven = true}},
        // As players write them: a value that is only a note is empty, an empty
        // log is none (and said), and so is a quote never closed.
        {"log = a.log\nidentity = # your name\ncontext = ;x\nlog =\nwow = yes # ok", 0, "",
         {.identity = "", .context = "", .wow = true, .identityGiven = true},
         "4: \"log\" is empty, so the bridge keeps no log\n"},
        {"identity = \"Zo\xC3\xAB\ncontext = \"x\"", 0, "",
         {.identity = "\"Zo\xC3\xAB", .context = "x", .identityGiven = true},
         "1: the quote before the value of \"identity\" is never closed, so it was taken as written\n"},
        {"help = yes", 1, "unknown setting \"help\""},
        {"config = other.ini", 1, "\"config\" cannot be used inside a settings file"},
        {"wow = on", 1, "\"on\" is not a valid value for wow: write yes or no"},
        {"radius = nan", 1, "\"nan\" is not a valid value for radius"},
    };
    for (const auto& row : rows) {
        BridgeOptions options;
        int line = -1;
        std::string error;
        std::vector<SettingsWarning> warnings;
        const bool applied = applySettings(row.text, options, line, error, &warnings);
        std::string warned;
        for (const SettingsWarning& w : warnings) warned += std::to_string(w.line) + ": " + w.text + "\n";
        EXPECT_EQ(std::tuple(applied, line, error, bitsOf(options), warned),
                  std::tuple(row.line == 0, row.line, row.error, bitsOf(row.fields), row.warned)) << row.text;
    }
}

TEST(Usage, IsTheHelpTextByteForByte) {
    std::ostringstream out;
    printUsage(out);
    EXPECT_EQ(out.str(),
              "CorvaneVoiceBridge v0.6 - Online + Map Isolation Fix\n\nLIVE WOW MODE:\n"
              "  CorvaneVoiceBridge --wow --identity Oruli --context CORVANE:WORLD:1\n\n"
              "Options:\n"
              "  --wow                 Read local character state from WoW 3.3.5a build 12340\n"
              "  --wow-scale NUMBER    Scale WoW world units to meters (default 0.9144)\n"
              "  --identity NAME       Unique voice identity\n"
              "  --context VALUE       SAME base context for every CORVANE player\n"
              "  --x/--y/--z NUMBER    Synthetic test position\n"
              "  --yaw DEGREES         Synthetic test facing\n"
              "  --orbit               Synthetic orbit test\n"
              "  --radius NUMBER       Orbit radius\n"
              "  --speed NUMBER        Orbit speed in degrees/sec\n"
              "  --wait                Wait for Wow.exe to start, and again after it exits\n"
              "  --pid N               Read the game process with this ID instead of Wow.exe\n"
              "  --version             Print the program name and version\n"
              "  -- GAME COMMAND       Start the game with this command, read it, end with it\n"
              "  --config FILE         Read options from FILE, one name = value per line:\n"
              "                        names in any case, a value in \"quotes\" or not, and a\n"
              "                        # or ; after a blank begins a note; UTF-8 or UTF-16\n"
              "  --log FILE            Append the start line, notices, errors and status changes to FILE\n"
              "  --check               Look once at the game, the bridge, the link and the voice\n"
              "                        client, say which link is broken and how to mend it, and exit\n"
              "  --json                With --check: the report as one JSON object\n");
}

}  // namespace
}  // namespace corvane
