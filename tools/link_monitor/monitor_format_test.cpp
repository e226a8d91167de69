#include "tools/link_monitor/monitor_format.h"

#include "link/link_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <tuple>

namespace corvane {
namespace {

TEST(MonitorFormat, DecodesUtf16TextWithEscapes) {
    const std::tuple<std::u16string, bool, std::string> cases[] = {
        {std::u16string(u"Ab\0cd", 5), false, "Ab"},  // stops at the first NUL
        {u"\u00e9\u20ac\U0001F600", false, "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
        {{u'A', char16_t(0xD800)}, false, "A\\uD800"},  // lone surrogates as text
        {{char16_t(0xDC01), u'B'}, false, "\\uDC01B"},
        {u"a\x1B[2Jb", false, "a\x1B[2Jb"},  // controls kept raw for JSON
        {u"a\x1B\x7F\u0085b", true, "a\\u001B\\u007F\\u0085b"},  // escaped for the terminal
    };
    for (const auto& [units, escapeControls, expected] : cases) {
        EXPECT_EQ(decodeUtf16Text(units, escapeControls), expected);
    }
}

TEST(MonitorFormat, EscapesContextAndJsonValues) {
    LinkedMem record{};
    const unsigned char bytes[] = {'A', ' ', '~', 0x00, 0x7F, 0xFF, '\\', 0x0A};
    std::memcpy(record.context, bytes, sizeof bytes);
    record.context_len = sizeof bytes;
    EXPECT_EQ(escapeContext(record), "A ~\\x00\\x7F\\xFF\\\\x0A");
    // A foreign writer may claim more than the array holds.
    std::memset(record.context, 'z', sizeof record.context);
    record.context_len = 100000;
    EXPECT_EQ(escapeContext(record), std::string(256, 'z'));

    EXPECT_EQ(jsonString("a\"b\\c\xC3\xA9"), "\"a\\\"b\\\\c\xC3\xA9\"");
    EXPECT_EQ(jsonString(std::string("\n\r\t\x01\x1F\0", 6)), "\"\\n\\r\\t\\u0001\\u001f\\u0000\"");

    EXPECT_EQ(jsonFloat(0.1f), "0.100000001");
    EXPECT_EQ(jsonFloat(std::numeric_limits<float>::quiet_NaN()), "null");
    EXPECT_EQ(jsonFloat(-std::numeric_limits<float>::infinity()), "null");
}

LinkedMem bridgeRecord(std::uint32_t tick, const std::string& identity) {
    const Vec3 at{1.5f, -2.0f, 0.1f}, front{0.0f, 0.0f, 1.0f}, top{0.0f, 1.0f, 0.0f};
    LinkedMem record{};
    assembleRecord({{at, front, top, at, front, top}, identity, "CORVANE:WORLD:1"}, tick, record);
    return record;
}

TEST(MonitorFormat, JsonHasEveryKeyInOrderAndTheRawRecord) {
    LinkedMem record = bridgeRecord(1234, "Oru\"li");
    record.fAvatarTop[1] = std::numeric_limits<float>::quiet_NaN();
    const std::string json = formatJson(record, {49.74, 3.14});
    const std::string head =
        "{\"version\":2,\"tick\":1234,\"framesPerSecond\":49.7,\"sinceLastFrameMs\":3.1,"
        "\"avatarPosition\":[1.5,-2,0.100000001],\"avatarFront\":[0,0,1],\"avatarTop\":[0,null,0],"
        "\"cameraPosition\":[1.5,-2,0.100000001],\"cameraFront\":[0,0,1],\"cameraTop\":[0,1,0],"
        "\"identity\":\"Oru\\\"li\",\"context\":\"CORVANE:WORLD:1\",\"contextLen\":15,"
        "\"name\":\"Corvane Voice Bridge\",\"description\":\"Corvane proximity voice "
        "positional-data bridge for World of Warcraft 3.3.5a.\",\"raw\":\"";
    EXPECT_EQ(json, head + recordHex(record) + "\"}");
    EXPECT_NE(formatJson(record, {}).find("\"framesPerSecond\":null,\"sinceLastFrameMs\":null,"),
              std::string::npos);

    // Every byte in memory order, two lower-case digits each.
    LinkedMem raw{};
    raw.uiVersion = 0xA1B2C3D4;
    raw.uiTick = 0x0F;
    EXPECT_EQ(recordHex(raw), "d4c3b2a10f000000" + std::string(2 * sizeof raw - 16, '0'));
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

TEST(FrameRateMeter, CountsEveryFrameOnceASecondIsSampled) {
    FrameRateMeter meter;
    EXPECT_FALSE(meter.sinceLastFrameMs());
    meter.addSample(0, 1);
    meter.addSample(980 * kMs, 50);  // a late sampler sees 49 frames at once
    meter.addSample(990 * kMs, 50);
    EXPECT_FALSE(meter.framesPerSecond()) << "not a second of samples yet";
    EXPECT_EQ(meter.sinceLastFrameMs(), 10.0);
    meter.addSample(1000 * kMs, 51);
    EXPECT_EQ(meter.framesPerSecond(), 50.0);
    EXPECT_EQ(meter.sinceLastFrameMs(), 0.0);
    meter.addSample(4000 * kMs, 51);  // the writer stopped
    EXPECT_EQ(meter.framesPerSecond(), 0.0);
    EXPECT_EQ(meter.sinceLastFrameMs(), 3000.0);

    FrameRateMeter restarts;
    restarts.addSample(0, 0xFFFFFFFFu);
    restarts.addSample(10 * kMs, 0);       // wrap: one frame
    restarts.addSample(20 * kMs, 1);       // one frame
    restarts.addSample(30 * kMs, 500000);  // a different writer: one frame
    restarts.addSample(40 * kMs, 1);       // the writer restarted: one frame
    restarts.addSample(1000 * kMs, 1);
    EXPECT_EQ(restarts.framesPerSecond(), 4.0);
}

}  // namespace
}  // namespace corvane
