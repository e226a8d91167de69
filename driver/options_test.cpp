#include "driver/options.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace corvane {
namespace {

using Args = std::vector<std::string>;

struct Parsed {
    ParseOutcome outcome;
    BridgeOptions options;
    std::string err;
};

Parsed parse(const Args& args) {
    std::vector<const char*> argv{"CorvaneVoiceBridge"};
    for (const auto& arg : args) argv.push_back(arg.c_str());
    argv.push_back(nullptr);
    Parsed parsed{ParseOutcome::Run, {}, {}};
    std::ostringstream err;
    parsed.outcome = parseCommandLine(static_cast<int>(args.size() + 1), argv.data(),
                                      parsed.options, err);
    parsed.err = err.str();
    return parsed;
}

// Floats by their bits, so -0 and rounding show.
auto fields(const BridgeOptions& o) {
    const auto b = [](float f) { return std::bit_cast<std::uint32_t>(f); };
    return std::tuple(o.identity, o.context, o.orbit, o.wow, b(o.x), b(o.y), b(o.z), b(o.yaw),
                      b(o.radius), b(o.speed), b(o.wowScale), o.wait, o.pid);
}

TEST(ParseCommandLine, DefaultsStandWithoutArguments) {
    EXPECT_EQ(parse({}).outcome, ParseOutcome::Run);
    // 0x3F6A161E is the float nearest 0.9144.
    EXPECT_EQ(fields(parse({}).options),
              std::tuple(std::string("CorvaneTest"), std::string("CORVANE:WORLD:1"), false,
                         false, 0u, 0u, 0x3F800000u, 0u, 0x41000000u, 0x41C80000u, 0x3F6A161Eu,
                         false, 0u));
}

TEST(ParseCommandLine, AcceptsEveryOptionAndTheLastOneWins) {
    const std::pair<Args, BridgeOptions> cases[] = {
        {{"--wow", "--wow", "--orbit", "--wow-scale", "1"},
         {.orbit = true, .wow = true, .wowScale = 1.0f}},
        {{"--x", "-5", "--y", "2.5", "--z", "-0", "--yaw", "90", "--radius", "-3", "--speed",
          "0"},
         {.x = -5.0f, .y = 2.5f, .z = -0.0f, .yaw = 90.0f, .radius = -3.0f, .speed = 0.0f}},
        {{"--identity", "", "--context", " \xC3\xA9\xFF A:B"},
         {.identity = "", .context = " \xC3\xA9\xFF A:B"}},
        {{"--identity", "--wow", "--context", ""}, {.identity = "--wow", .context = ""}},
        {{"--x", "1", "--x", "2", "--identity", "A", "--identity", "B"},
         {.identity = "B", .x = 2.0f}},
        {{"--wait", "--pid", "1", "--pid", "4294967295"}, {.wait = true, .pid = 4294967295u}},
    };
    for (const auto& [args, expected] : cases) {
        const Parsed parsed = parse(args);
        EXPECT_EQ(parsed.outcome, ParseOutcome::Run) << ::testing::PrintToString(args);
        EXPECT_EQ(parsed.err, "");
        EXPECT_EQ(fields(parsed.options), fields(expected)) << ::testing::PrintToString(args);
    }
}

TEST(ParseCommandLine, ConvertsNumbersAsStrtofDoes) {
    using enum ParseOutcome;
    constexpr std::uint32_t kEight = 0x41000000;  // the default radius: a failure leaves it
    const std::tuple<const char*, ParseOutcome, std::uint32_t> cases[] = {
        {"  2.5", Run, 0x40200000},   {"2.5abc", Run, 0x40200000}, {"0x1p-2", Run, 0x3E800000},
        {"-INFINITY", Run, 0xFF800000}, {"3.4028235e38", Run, 0x7F7FFFFF},
        {"3.4028236e38", Invalid, kEight}, {"1e39", Invalid, kEight}, {"", Invalid, kEight},
        {"abc", Invalid, kEight},     {"-", Invalid, kEight},     {"--help", Invalid, kEight},
    };
    for (const auto& [value, outcome, bits] : cases) {
        const Parsed parsed = parse({"--radius", value});
        EXPECT_EQ(parsed.outcome, outcome) << "[" << value << "]";
        EXPECT_EQ(parsed.err, "") << "a bad value gets no message of the parser's own";
        EXPECT_EQ(std::bit_cast<std::uint32_t>(parsed.options.radius), bits) << value;
    }
    EXPECT_TRUE(std::isnan(parse({"--wow-scale", "nan"}).options.wowScale));
}

TEST(ParseFloatArgument, MovesOntoTheValueEvenWhenItFails) {
    const char* argv[] = {"prog", "--x", "zz", "--y", nullptr};
    float field = 1.0f;
    int position = 1;
    EXPECT_FALSE(parseFloatArgument(position, 4, argv, field));
    EXPECT_EQ(position, 2);
    EXPECT_FALSE(parseFloatArgument(++position, 4, argv, field));
    EXPECT_EQ(position, 3) << "no value: the position stays";
    EXPECT_EQ(field, 1.0f);
}

TEST(ParseCommandLine, StopsAtHelpOrAtTheFirstBadArgument) {
    using enum ParseOutcome;
    const std::tuple<Args, ParseOutcome, std::string> cases[] = {
        {{"--help"}, Help, ""}, {{"-h"}, Help, ""}, {{"--x", "1", "-h", "--bogus"}, Help, ""},
        {{"--help", "--radius", "zz"}, Help, ""},  {{"-H"}, Invalid, "-H"},
        {{"--bogus", "--help"}, Invalid, "--bogus"}, {{"--wow "}, Invalid, "--wow "},
        {{"--x", "1", "--Speed", "2"}, Invalid, "--Speed"},
        {{"--x=1"}, Invalid, "--x=1"}, {{"-x"}, Invalid, "-x"}, {{"--WOW"}, Invalid, "--WOW"},
        {{"wow"}, Invalid, "wow"},     {{""}, Invalid, ""},     {{"-hw"}, Invalid, "-hw"},
    };
    for (const auto& [args, outcome, unknown] : cases) {
        const Parsed parsed = parse(args);
        EXPECT_EQ(parsed.outcome, outcome) << ::testing::PrintToString(args);
        EXPECT_EQ(parsed.err, outcome == Help ? "" : "Unknown option: " + unknown + "\n");
    }
    for (const char* pid : {"0", "4294967296", "-1", "12x", " 12", ""})
        EXPECT_EQ(parse({"--pid", pid}).outcome, Invalid) << "[" << pid << "]";
    for (const char* name : {"--x", "--y", "--z", "--yaw", "--radius", "--speed", "--wow-scale",
                             "--identity", "--context", "--pid"}) {
        const Parsed parsed = parse({"--wow", name});
        EXPECT_EQ(parsed.outcome, Invalid) << name;
        EXPECT_EQ(parsed.err, "") << "a missing value gets no message of the parser's own";
    }
    EXPECT_EQ(parse({"--x", "3", "--y"}).options.x, 3.0f) << "earlier fields stay set";
}

TEST(Usage, IsTheHelpTextByteForByte) {
    const char expected[] =
        "CorvaneVoiceBridge v0.6 - Online + Map Isolation Fix\n\n"
        "LIVE WOW MODE:\n"
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
        "  --pid N               Read the game process with this ID instead of Wow.exe\n";
    std::ostringstream out;
    printUsage(out);
    EXPECT_EQ(out.str(), expected);
}

}  // namespace
}  // namespace corvane
