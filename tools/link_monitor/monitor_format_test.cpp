#include "tools/link_monitor/monitor_format.h"

#include "link/link_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

namespace corvane {
namespace {

TEST(MonitorFormat, DecodesTextFieldsOfBothLayouts) {
    const std::string smile = "\xC3\xA9\xF0\x9F\x98\x80";  // U+00E9 U+1F600
    EXPECT_EQ(decodeText(std::u16string(u"\u00E9\U0001F600\0x", 4)), smile);  // up to the NUL
    EXPECT_EQ(decodeText(std::u32string(U"\u00E9\U0001F600\0x", 4)), smile);
    EXPECT_EQ(decodeText(std::u16string{u'A', 0xDC01, 0xD800, u'B'}), "A\\uDC01\\uD800B");
    EXPECT_EQ(decodeText(std::u32string{U'A', 0xD800, 0x110000}), "A\\uD800\\U00110000");
    EXPECT_EQ(decodeText(u"a\x1B\x7F\u0085", false), "a\x1B\x7F\xC2\x85");  // raw for JSON
    EXPECT_EQ(decodeText(U"a\x1B\x7F\u0085", true), "a\\u001B\\u007F\\u0085");  // escaped for the terminal
}

TEST(MonitorFormat, EscapesContextAndJsonValues) {
    LinkedMem record{};
    const unsigned char bytes[] = {'A', ' ', '~', 0x00, 0x7F, 0xFF, '\\', 0x0A};
    std::memcpy(record.context, bytes, sizeof bytes);
    record.context_len = sizeof bytes;
    EXPECT_EQ(escapeContext(record), "A ~\\x00\\x7F\\xFF\\\\x0A");
    std::memset(record.context, 'z', sizeof record.context);
    record.context_len = 100000;  // a foreign writer may claim more than the array holds
    EXPECT_EQ(escapeContext(record), std::string(256, 'z'));
    EXPECT_EQ(jsonString(std::string("\"\\\n\r\t\x01\x1F\0\xC3\xA9", 10)), "\"\\\"\\\\\\n\\r\\t\\u0001\\u001f\\u0000\xC3\xA9\"");
    EXPECT_EQ(jsonFloat(0.1f), "0.100000001");
    EXPECT_EQ(jsonFloat(-std::numeric_limits<float>::infinity()), "null");
}

TEST(MonitorFormat, ShowsEveryFieldAndTheWholeRecord) {
    const Vec3 at{1.5f, -2.0f, 0.1f}, front{0.0f, 0.0f, 1.0f}, top{0.0f, 1.0f, 0.0f};
    LinkedMem record{};
    assembleRecord({{at, front, top, at, front, top}, "Oru\"li\x1B", "CORVANE:WORLD:1"}, 1234, record);
    record.fAvatarTop[1] = std::numeric_limits<float>::quiet_NaN();
    const std::string json = formatJson(record, {49.74, 3.14});
    EXPECT_EQ(json.substr(0, json.find(",\"raw\":")),
              "{\"version\":2,\"tick\":1234,\"framesPerSecond\":49.7,\"sinceLastFrameMs\":3.1,"
              "\"avatarPosition\":[1.5,-2,0.100000001],\"avatarFront\":[0,0,1],\"avatarTop\":[0,null,0],"
              "\"cameraPosition\":[1.5,-2,0.100000001],\"cameraFront\":[0,0,1],\"cameraTop\":[0,1,0],"
              "\"identity\":\"Oru\\\"li\\u001b\",\"context\":\"CORVANE:WORLD:1\",\"contextLen\":15,"
              "\"name\":\"Corvane Voice Bridge\",\"description\":\"Corvane proximity voice "
              "positional-data bridge for World of Warcraft 3.3.5a.\"");
    // The whole record of this platform's layout, two lower-case digits a byte, in memory order.
    const std::size_t rawAt = json.find(",\"raw\":\"") + 8;
    EXPECT_EQ(json.size() - rawAt, 2 * (sizeof(wchar_t) == 2 ? 5460 : 10580) + 2);
    EXPECT_EQ(json.substr(rawAt, 16), "02000000d2040000");
    EXPECT_NE(formatJson(record, {}).find("\"framesPerSecond\":null,\"sinceLastFrameMs\":null,"), std::string::npos);

    const std::string text = formatDisplay(record, {});
    for (const char* line : {"Tick                1234\n", "(measuring)", "(no new frame seen)",
                             "Avatar position              1.500        -2.000         0.100\n",
                             "Identity            Oru\"li\\u001B\n", "Context             CORVANE:WORLD:1  (15 bytes)\n",
                             "Name                Corvane Voice Bridge\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
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
    meter.addSample(4000 * kMs, 51);  // the writer stopped
    EXPECT_EQ(meter.framesPerSecond(), 0.0);
    EXPECT_EQ(meter.sinceLastFrameMs(), 3000.0);

    FrameRateMeter restarts;
    // A wrap, one frame, a different writer, a restarted writer: one frame each.
    std::int64_t time = 0;
    for (std::uint32_t tick : {0xFFFFFFFFu, 0u, 1u, 500000u, 1u}) restarts.addSample(time += 10 * kMs, tick);
    restarts.addSample(1010 * kMs, 1);
    EXPECT_EQ(restarts.framesPerSecond(), 4.0);
}

}  // namespace
}  // namespace corvane
