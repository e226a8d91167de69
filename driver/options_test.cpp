#include "driver/options.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace corvane {
namespace {

struct Parsed {
    ParseOutcome outcome;
    BridgeOptions options;
    std::string err;
};

Parsed parse(const std::vector<std::string>& args) {
    std::vector<const char*> argv{"CorvaneVoiceBridge"};
    for (const auto& arg : args) argv.push_back(arg.c_str());
    argv.push_back(nullptr);
    Parsed parsed{ParseOutcome::Run, {}, {}};
    std::ostringstream err;
    const int argc = static_cast<int>(args.size() + 1);
    parsed.outcome = parseCommandLine(argc, argv.data(), parsed.options, err);
    parsed.err = err.str();
    return parsed;
}

std::string describe(const std::vector<std::string>& args) {
    std::string text;
    for (const auto& arg : args) text += "[" + arg + "] ";
    return text;
}

// Floats compared by their bits, so NaN and -0 count.
void expectSameOptions(const BridgeOptions& actual, const BridgeOptions& expected) {
    EXPECT_EQ(actual.identity, expected.identity);
    EXPECT_EQ(actual.context, expected.context);
    EXPECT_EQ(actual.orbit, expected.orbit);
    EXPECT_EQ(actual.wow, expected.wow);
    const auto bits = [](float f) { return std::bit_cast<std::uint32_t>(f); };
    EXPECT_EQ(bits(actual.x), bits(expected.x));
    EXPECT_EQ(bits(actual.y), bits(expected.y));
    EXPECT_EQ(bits(actual.z), bits(expected.z));
    EXPECT_EQ(bits(actual.yaw), bits(expected.yaw));
    EXPECT_EQ(bits(actual.radius), bits(expected.radius));
    EXPECT_EQ(bits(actual.speed), bits(expected.speed));
    EXPECT_EQ(bits(actual.wowScale), bits(expected.wowScale));
}

TEST(ParseCommandLine, DefaultsStandWithoutArguments) {
    const Parsed parsed = parse({});
    EXPECT_EQ(parsed.outcome, ParseOutcome::Run);
    EXPECT_EQ(parsed.err, "");
    const BridgeOptions& o = parsed.options;
    EXPECT_EQ(o.identity, "CorvaneTest");
    EXPECT_EQ(o.context, "CORVANE:WORLD:1");
    EXPECT_EQ(o.x, 0.0f);
    EXPECT_EQ(o.y, 0.0f);
    EXPECT_EQ(o.z, 1.0f);
    EXPECT_EQ(o.yaw, 0.0f);
    EXPECT_FALSE(o.orbit);
    EXPECT_EQ(o.radius, 8.0f);
    EXPECT_EQ(o.speed, 25.0f);
    EXPECT_FALSE(o.wow);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(o.wowScale), 0x3F6A161Eu);  // nearest float to 0.9144
}

TEST(ParseCommandLine, AcceptsEveryOption) {
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        std::vector<std::string> args;
        std::function<void(BridgeOptions&)> expect;
    } cases[] = {
        {{"--wow"}, [](BridgeOptions& o) { o.wow = true; }},
        {{"--wow", "--wow"}, [](BridgeOptions& o) { o.wow = true; }},
        {{"--wow-scale", "1"}, [](BridgeOptions& o) { o.wowScale = 1.0f; }},
        {{"--identity", "Oruli"}, [](BridgeOptions& o) { o.identity = "Oruli"; }},
        {{"--identity", ""}, [](BridgeOptions& o) { o.identity = ""; }},
        {{"--identity", "--wow"}, [](BridgeOptions& o) { o.identity = "--wow"; }},
        {{"--identity", "--help"}, [](BridgeOptions& o) { o.identity = "--help"; }},
        {{"--identity", " \xC3\xA9\xFF "}, [](BridgeOptions& o) { o.identity = " \xC3\xA9\xFF "; }},
        {{"--context", "A B:C"}, [](BridgeOptions& o) { o.context = "A B:C"; }},
        {{"--context", ""}, [](BridgeOptions& o) { o.context = ""; }},
        {{"--x", "-5"}, [](BridgeOptions& o) { o.x = -5.0f; }},
        {{"--y", "2.5"}, [](BridgeOptions& o) { o.y = 2.5f; }},
        {{"--z", "-0"}, [](BridgeOptions& o) { o.z = -0.0f; }},
        {{"--yaw", "90"}, [](BridgeOptions& o) { o.yaw = 90.0f; }},
        {{"--orbit"}, [](BridgeOptions& o) { o.orbit = true; }},
        {{"--radius", "-3"}, [](BridgeOptions& o) { o.radius = -3.0f; }},
        {{"--speed", "0"}, [](BridgeOptions& o) { o.speed = 0.0f; }},
        {{"--x", "1", "--x", "2"}, [](BridgeOptions& o) { o.x = 2.0f; }},
        {{"--identity", "A", "--identity", "B"}, [](BridgeOptions& o) { o.identity = "B"; }},
        {{"--speed", "inf"}, [inf](BridgeOptions& o) { o.speed = inf; }},
        {{"--wow", "--identity", "Oruli", "--orbit", "--wow-scale", "0.5"},
         [](BridgeOptions& o) {
             o.wow = o.orbit = true;
             o.identity = "Oruli";
             o.wowScale = 0.5f;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(describe(c.args));
        const Parsed parsed = parse(c.args);
        EXPECT_EQ(parsed.outcome, ParseOutcome::Run);
        EXPECT_EQ(parsed.err, "");
        BridgeOptions expected;
        c.expect(expected);
        expectSameOptions(parsed.options, expected);
    }
}

TEST(ParseCommandLine, ConvertsNumbersAsStrtofDoes) {
    struct Case {
        const char* value;
        bool ok;
        std::uint32_t bits;  // of the stored float when ok
    } cases[] = {
        {"2.5", true, 0x40200000},
        {"  2.5", true, 0x40200000},
        {"\t-1", true, 0xBF800000},
        {"2.5abc", true, 0x40200000},
        {"1e", true, 0x3F800000},
        {".5", true, 0x3F000000},
        {"+7", true, 0x40E00000},
        {"0x1p-2", true, 0x3E800000},
        {"1e38", true, 0x7E967699},
        {"3.4028235e38", true, 0x7F7FFFFF},
        {"inf", true, 0x7F800000},
        {"-INFINITY", true, 0xFF800000},
        {"", false, 0},
        {"abc", false, 0},
        {"-", false, 0},
        {"--help", false, 0},
        {"1e39", false, 0},
        {"3.4028236e38", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("value [") + c.value + "]");
        const Parsed parsed = parse({"--radius", c.value});
        EXPECT_EQ(parsed.outcome, c.ok ? ParseOutcome::Run : ParseOutcome::Invalid);
        EXPECT_EQ(parsed.err, "") << "bad values get no message of the parser's own";
        const std::uint32_t expected = c.ok ? c.bits : 0x41000000;  // else the default 8
        EXPECT_EQ(std::bit_cast<std::uint32_t>(parsed.options.radius), expected);
    }
    EXPECT_TRUE(std::isnan(parse({"--wow-scale", "nan"}).options.wowScale));
    EXPECT_TRUE(std::isnan(parse({"--wow-scale", "NaN(123)"}).options.wowScale));
}

TEST(ParseFloatArgument, MovesOntoTheValueEvenWhenItFails) {
    const char* argv[] = {"prog", "--x", "7", "--y", "zz", "--z", nullptr};
    float field = 1.0f;
    int position = 1;
    EXPECT_TRUE(parseFloatArgument(position, 6, argv, field));
    EXPECT_EQ(position, 2);
    EXPECT_EQ(field, 7.0f);
    position = 3;
    EXPECT_FALSE(parseFloatArgument(position, 6, argv, field));
    EXPECT_EQ(position, 4);
    EXPECT_EQ(field, 7.0f);
    position = 5;
    EXPECT_FALSE(parseFloatArgument(position, 6, argv, field));
    EXPECT_EQ(position, 5) << "no value: the position stays";
}

TEST(ParseCommandLine, RejectsMissingValuesSilently) {
    const std::vector<std::vector<std::string>> cases = {
        {"--x"},        {"--y"},        {"--z"},          {"--yaw"},     {"--radius"},
        {"--speed"},    {"--wow-scale"}, {"--identity"}, {"--context"}, {"--wow", "--context"},
        {"--radius", "--help"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(describe(args));
        const Parsed parsed = parse(args);
        EXPECT_EQ(parsed.outcome, ParseOutcome::Invalid);
        EXPECT_EQ(parsed.err, "");
    }
    // Fields set before the failure stay set; the caller gives up anyway.
    EXPECT_EQ(parse({"--x", "3", "--y"}).options.x, 3.0f);
}

TEST(ParseCommandLine, NamesAnUnknownArgument) {
    struct Case {
        std::vector<std::string> args;
        std::string unknown;
    } cases[] = {
        {{"--x=1"}, "--x=1"},       {{"-x"}, "-x"},
        {{"--WOW"}, "--WOW"},       {{"wow"}, "wow"},
        {{"--"}, "--"},             {{"-"}, "-"},
        {{""}, ""},                 {{"-hw"}, "-hw"},
        {{"--help=1"}, "--help=1"}, {{"--orbit2"}, "--orbit2"},
        {{"-H"}, "-H"},             {{" --wow"}, " --wow"},
        {{"--wow "}, "--wow "},     {{"--wow", "bogus", "--help"}, "bogus"},
        {{"--x", "1", "--Speed", "2"}, "--Speed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(describe(c.args));
        const Parsed parsed = parse(c.args);
        EXPECT_EQ(parsed.outcome, ParseOutcome::Invalid);
        EXPECT_EQ(parsed.err, "Unknown option: " + c.unknown + "\n");
    }
}

TEST(ParseCommandLine, HelpStopsParsingWhereverItComes) {
    const std::vector<std::vector<std::string>> help = {
        {"--help"},
        {"-h"},
        {"--wow", "--identity", "A", "--help"},
        {"--x", "1", "-h", "--bogus"},
        {"-h", "--x"},
        {"--help", "--radius", "zz"},
    };
    for (const auto& args : help) {
        SCOPED_TRACE(describe(args));
        const Parsed parsed = parse(args);
        EXPECT_EQ(parsed.outcome, ParseOutcome::Help);
        EXPECT_EQ(parsed.err, "");
    }
    const Parsed unknownFirst = parse({"--bogus", "--help"});
    EXPECT_EQ(unknownFirst.outcome, ParseOutcome::Invalid);
    EXPECT_EQ(unknownFirst.err, "Unknown option: --bogus\n");
}

TEST(Usage, IsTheHelpTextByteForByte) {
    const char expected[] =
        "CorvaneVoiceBridge v0.6 - Online + Map Isolation Fix\n"
        "\n"
        "LIVE WOW MODE:\n"
        "  CorvaneVoiceBridge --wow --identity Oruli --context CORVANE:WORLD:1\n"
        "\n"
        "Options:\n"
        "  --wow                 Read local character state from WoW 3.3.5a build 12340\n"
        "  --wow-scale NUMBER    Scale WoW world units to meters (default 0.9144)\n"
        "  --identity NAME       Unique voice identity\n"
        "  --context VALUE       SAME base context for every CORVANE player\n"
        "  --x/--y/--z NUMBER    Synthetic test position\n"
        "  --yaw DEGREES         Synthetic test facing\n"
        "  --orbit               Synthetic orbit test\n"
        "  --radius NUMBER       Orbit radius\n"
        "  --speed NUMBER        Orbit speed in degrees/sec\n";
    EXPECT_EQ(std::string(kUsageText), expected);
    std::ostringstream out;
    printUsage(out);
    EXPECT_EQ(out.str(), expected);

    // Every option line's description starts at column 24.
    std::istringstream lines(kUsageText);
    std::string line;
    int optionLines = 0;
    while (std::getline(lines, line)) {
        if (line.rfind("  --", 0) != 0 || line.find("CorvaneVoiceBridge") != std::string::npos) {
            continue;
        }
        ++optionLines;
        ASSERT_GT(line.size(), 24u) << line;
        EXPECT_EQ(line[23], ' ') << line;
        EXPECT_NE(line[24], ' ') << line;
    }
    EXPECT_EQ(optionLines, 9);
}

}  // namespace
}  // namespace corvane
