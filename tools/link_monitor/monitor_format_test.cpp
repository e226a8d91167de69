#include "tools/link_monitor/monitor_format.h"

#include "link/link_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace corvane {
namespace {

struct DecodeCase {
    const char* what;
    std::u16string units;
    bool escapeControls;
    std::string expected;
};

TEST(MonitorFormat, DecodesUtf16TextWithEscapes) {
    const std::vector<DecodeCase> cases = {
        {"stops at the first NUL", std::u16string(u"Ab\0cd", 5), false, "Ab"},
        {"no NUL: the whole array", u"Abc", false, "Abc"},
        {"two and three byte forms", u"\u00e9\u20ac", false, "\xC3\xA9\xE2\x82\xAC"},
        {"surrogate pair", u"\U0001F600", false, "\xF0\x9F\x98\x80"},
        {"lone high surrogate at the end", {u'A', char16_t(0xD800)}, false, "A\\uD800"},
        {"lone low surrogate", {char16_t(0xDC01), u'B'}, false, "\\uDC01B"},
        {"high surrogate before a plain unit",
         {char16_t(0xDBFF), u'x'}, false, "\\uDBFFx"},
        {"sign-extended byte units", {u'A', char16_t(0xFFFF)}, false, "A\xEF\xBF\xBF"},
        {"controls kept raw for JSON", u"a\x1B[2Jb", false, "a\x1B[2Jb"},
        {"controls escaped for the terminal", u"a\x1B\x7F\u0085b", true,
         "a\\u001B\\u007F\\u0085b"},
    };
    for (const DecodeCase& c : cases) {
        EXPECT_EQ(decodeUtf16Text(c.units, c.escapeControls), c.expected) << c.what;
    }
}

TEST(MonitorFormat, EscapesContextBytesUpToItsLength) {
    LinkedMem record{};
    const unsigned char bytes[] = {'A', ' ', '~', 0x00, 0x7F, 0xFF, '\\', 0x0A};
    std::memcpy(record.context, bytes, sizeof bytes);
    record.context_len = sizeof bytes;
    EXPECT_EQ(escapeContext(record), "A ~\\x00\\x7F\\xFF\\\\x0A");

    record.context_len = 2;
    EXPECT_EQ(escapeContext(record), "A ");
    record.context_len = 0;
    EXPECT_EQ(escapeContext(record), "");

    // A foreign writer may claim more than the array holds.
    std::memset(record.context, 'z', sizeof record.context);
    record.context_len = 100000;
    EXPECT_EQ(escapeContext(record), std::string(256, 'z'));
}

TEST(MonitorFormat, JsonStringsEscapeQuotesBackslashesAndControls) {
    EXPECT_EQ(jsonString("plain"), "\"plain\"");
    EXPECT_EQ(jsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(jsonString(std::string("\n\r\t\x01\x1F", 5) + std::string(1, '\0')),
              "\"\\n\\r\\t\\u0001\\u001f\\u0000\"");
    EXPECT_EQ(jsonString("\\uD800"), "\"\\\\uD800\"");
    EXPECT_EQ(jsonString("\xC3\xA9"), "\"\xC3\xA9\"");
}

TEST(MonitorFormat, JsonFloatsReadBackExactly) {
    EXPECT_EQ(jsonFloat(0.0f), "0");
    EXPECT_EQ(jsonFloat(-0.0f), "-0");
    EXPECT_EQ(jsonFloat(0.1f), "0.100000001");
    EXPECT_EQ(jsonFloat(1e10f), "1e+10");
    EXPECT_EQ(jsonFloat(1e20f), "1.00000002e+20");
    EXPECT_EQ(jsonFloat(std::numeric_limits<float>::quiet_NaN()), "null");
    EXPECT_EQ(jsonFloat(std::numeric_limits<float>::infinity()), "null");
    EXPECT_EQ(jsonFloat(-std::numeric_limits<float>::infinity()), "null");

    const float values[] = {1.0f / 3.0f, -250000.125f, 3.1415927f,
                            std::numeric_limits<float>::max(),
                            std::numeric_limits<float>::denorm_min(), 1.17549435e-38f};
    for (float value : values) {
        const std::string text = jsonFloat(value);
        EXPECT_EQ(std::strtof(text.c_str(), nullptr), value) << text;
    }
}

LinkedMem bridgeRecord(std::uint32_t tick, const std::string& identity) {
    LinkFrame frame;
    frame.pose.avatarPosition = {1.5f, -2.0f, 0.1f};
    frame.pose.avatarFront = {0.0f, 0.0f, 1.0f};
    frame.pose.avatarTop = {0.0f, 1.0f, 0.0f};
    frame.pose.cameraPosition = {1.5f, -2.0f, 0.1f};
    frame.pose.cameraFront = {0.0f, 0.0f, 1.0f};
    frame.pose.cameraTop = {0.0f, 1.0f, 0.0f};
    frame.identity = identity;
    frame.context = "CORVANE:WORLD:1";
    LinkedMem record{};
    assembleRecord(frame, tick, record);
    return record;
}

TEST(MonitorFormat, JsonHasEveryKeyInOrder) {
    const LinkedMem record = bridgeRecord(1234, "CorvaneTest");
    const std::string json = formatJson(record, {49.74, 3.14});
    const std::string head =
        "{\"version\":2,\"tick\":1234,\"framesPerSecond\":49.7,\"sinceLastFrameMs\":3.1,"
        "\"avatarPosition\":[1.5,-2,0.100000001],\"avatarFront\":[0,0,1],\"avatarTop\":[0,1,0],"
        "\"cameraPosition\":[1.5,-2,0.100000001],\"cameraFront\":[0,0,1],\"cameraTop\":[0,1,0],"
        "\"identity\":\"CorvaneTest\",\"context\":\"CORVANE:WORLD:1\",\"contextLen\":15,"
        "\"name\":\"Corvane Voice Bridge\",\"description\":\"Corvane proximity voice "
        "positional-data bridge for World of Warcraft 3.3.5a.\",\"raw\":\"";
    ASSERT_EQ(json.substr(0, head.size()), head);
    ASSERT_EQ(json.size(), head.size() + 2 * sizeof(LinkedMem) + 2);
    EXPECT_EQ(json.substr(json.size() - 2), "\"}");
    EXPECT_EQ(json.find('\n'), std::string::npos);

    // The raw hex gives back the record byte for byte.
    const std::string hex = json.substr(head.size(), 2 * sizeof(LinkedMem));
    EXPECT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos);
    unsigned char bytes[sizeof(LinkedMem)];
    for (std::size_t i = 0; i < sizeof bytes; ++i) {
        bytes[i] = static_cast<unsigned char>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    }
    EXPECT_EQ(std::memcmp(bytes, &record, sizeof bytes), 0);

    EXPECT_NE(formatJson(record, {}).find("\"framesPerSecond\":null,\"sinceLastFrameMs\":null,"),
              std::string::npos);
}

TEST(MonitorFormat, JsonShowsUndecodableAndNonFiniteValuesSafely) {
    // The bridge cuts a 300-unit identity inside a surrogate pair.
    std::string identity(254, 'a');
    for (int i = 0; i < 10; ++i) identity += "\xF0\x9F\x98\x80";
    LinkedMem record = bridgeRecord(1, identity);
    record.fAvatarPosition[1] = std::numeric_limits<float>::quiet_NaN();
    record.context[0] = '"';
    record.context[1] = 0x01;
    record.context_len = 2;
    const std::string json = formatJson(record, {});
    EXPECT_NE(json.find("\"identity\":\"" + std::string(254, 'a') + "\\\\uD83D\","),
              std::string::npos);
    EXPECT_NE(json.find("\"avatarPosition\":[1.5,null,0.100000001]"), std::string::npos);
    EXPECT_NE(json.find("\"context\":\"\\\"\\\\x01\",\"contextLen\":2,"), std::string::npos);
}

TEST(MonitorFormat, DisplayShowsEachField) {
    const LinkedMem record = bridgeRecord(7, "Grim\x1B");
    const std::string text = formatDisplay(record, {});
    for (const char* expected :
         {"Tick                7\n", "(measuring)", "(no new frame seen)",
          "Avatar position              1.500        -2.000         0.100\n",
          "Identity            Grim\\u001B\n", "Context             CORVANE:WORLD:1  (15 bytes)\n",
          "Name                Corvane Voice Bridge\n"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    }
    EXPECT_NE(formatDisplay(record, {49.96, 12.0}).find("50.0"), std::string::npos);
}

constexpr std::int64_t kMs = 1'000'000;

// Feeds a writer publishing every `framePeriodMs` (tick 1 at time 0), sampled
// every `samplePeriodMs`, for `durationMs`.
void feed(FrameRateMeter& meter, std::int64_t durationMs, std::int64_t framePeriodMs,
          std::int64_t samplePeriodMs, std::uint32_t firstTick = 1) {
    for (std::int64_t t = 0; t <= durationMs; t += samplePeriodMs) {
        meter.addSample(t * kMs, firstTick + static_cast<std::uint32_t>(t / framePeriodMs));
    }
}

TEST(FrameRateMeter, MeasuresOnlyAfterOneSecondOfSamples) {
    FrameRateMeter meter;
    EXPECT_FALSE(meter.framesPerSecond());
    EXPECT_FALSE(meter.sinceLastFrameMs());
    feed(meter, 990, 20, 10);
    EXPECT_FALSE(meter.framesPerSecond());
    ASSERT_TRUE(meter.sinceLastFrameMs());
    EXPECT_DOUBLE_EQ(*meter.sinceLastFrameMs(), 10.0);
    meter.addSample(1000 * kMs, 51);
    ASSERT_TRUE(meter.framesPerSecond());
    EXPECT_DOUBLE_EQ(*meter.framesPerSecond(), 50.0);
    EXPECT_DOUBLE_EQ(*meter.sinceLastFrameMs(), 0.0);
}

TEST(FrameRateMeter, CountsFramesAtTheWritersRate) {
    struct Case {
        std::int64_t framePeriodMs;
        std::int64_t samplePeriodMs;
        double expected;
    };
    // A slow sampler sees several ticks at once and still counts each.
    for (const Case& c : {Case{20, 10, 50.0}, Case{20, 30, 50.0}, Case{21, 10, 47.6},
                          Case{100, 10, 10.0}, Case{20, 7, 50.0}}) {
        FrameRateMeter meter;
        feed(meter, 5000, c.framePeriodMs, c.samplePeriodMs);
        ASSERT_TRUE(meter.framesPerSecond());
        EXPECT_NEAR(*meter.framesPerSecond(), c.expected, 1.0)
            << c.framePeriodMs << " ms frames, " << c.samplePeriodMs << " ms samples";
    }
}

TEST(FrameRateMeter, FallsToZeroWhenTheWriterStops) {
    FrameRateMeter meter;
    feed(meter, 3000, 20, 10);
    const std::uint32_t lastTick = 1 + 3000 / 20;
    for (std::int64_t t = 3010; t <= 6000; t += 10) meter.addSample(t * kMs, lastTick);
    EXPECT_DOUBLE_EQ(*meter.framesPerSecond(), 0.0);
    EXPECT_DOUBLE_EQ(*meter.sinceLastFrameMs(), 3000.0);
}

TEST(FrameRateMeter, TickWrapAndRestartCountOneFrameEach) {
    FrameRateMeter meter;
    meter.addSample(0, 0xFFFFFFFFu);
    meter.addSample(10 * kMs, 0);           // wrap: one frame
    meter.addSample(20 * kMs, 1);           // one frame
    meter.addSample(30 * kMs, 500000);      // a different writer: one frame
    meter.addSample(40 * kMs, 1);           // writer restarted: one frame
    meter.addSample(1000 * kMs, 1);
    ASSERT_TRUE(meter.framesPerSecond());
    EXPECT_DOUBLE_EQ(*meter.framesPerSecond(), 4.0);
}

}  // namespace
}  // namespace corvane
