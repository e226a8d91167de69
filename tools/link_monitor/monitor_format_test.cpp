#include "tools/link_monitor/monitor_format.h"

#include "link/link_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <tuple>

namespace {
using namespace corvane;

TEST(MonitorFormat, DecodesTextFieldsOfBothLayoutsAndEscapesWhatIsNoText) {
    const std::string text = "\xC3\xA9\xF0\x9F\x98\x80";  // U+00E9 U+1F600, up to the NUL
    EXPECT_EQ(decodeText(std::u16string(u"\u00E9\U0001F600\0x", 4)), text);
    EXPECT_EQ(decodeText(std::u32string(U"\u00E9\U0001F600\0x", 4)), text);
    EXPECT_EQ(decodeText(std::u16string{u'A', 0xDC01, 0xD800, u'B'}), "A\\uDC01\\uD800B");
    EXPECT_EQ(decodeText(std::u32string{U'A', 0xD800, 0x110000}), "A\\uD800\\U00110000");
    EXPECT_EQ(decodeText(U"a\x1B\x7F\u0085", true), "a\\u001B\\u007F\\u0085");  // escaped for the terminal

    LinkedMem record{};
    std::memset(record.context, 'z', sizeof record.context);
    std::memcpy(record.context, "A ~\0\x7F\xFF\\\n", 8);
    record.context_len = 100000;  // a foreign writer may claim more than the array holds
    EXPECT_EQ(escapeContext(record), "A ~\\x00\\x7F\\xFF\\\\x0A" + std::string(248, 'z'));
    // UTF-8 as text; overlong, surrogate, beyond U+10FFFF, truncated, stray, C1 control: bytes.
    const std::string context = "\xC3\x89t\xC3\xA9\xF0\x9F\x98\x80|\xC0\xAF\xED\xA0\x80\xF4\x90"
                                "\x80\x80\x80\xC2\x85|\xE2\x82";
    std::memcpy(record.context, context.data(), context.size());
    record.context_len = static_cast<std::uint32_t>(context.size());
    EXPECT_EQ(escapeContext(record),
              "\xC3\x89t\xC3\xA9\xF0\x9F\x98\x80|\\xC0\\xAF\\xED\\xA0\\x80\\xF4\\x90\\x80\\x80"
              "\\x80\\xC2\\x85|\\xE2\\x82");
}

TEST(MonitorFormat, ShowsEveryFieldAndTheWholeRecord) {
    // NaN and infinity are no JSON numbers.
    const Vec3 at{1.5f, -2.0f, 0.1f}, front{0, 0, 1}, nan{0, NAN, 0}, inf{0, -INFINITY, 0};
    LinkedMem record{};
    assembleRecord({{at, front, nan, at, front, inf}, "Oru\"l\\i\x1B\n", "CORVANE:WORLD:1"}, 1234, record);
    const std::string json = formatJson(record, {49.74, 3.14}, "The link is read by a (pid 9).\n");
    const std::size_t raw = json.find(",\"raw\":\"");
    EXPECT_EQ(json.substr(0, raw),
              "{\"version\":2,\"tick\":1234,\"framesPerSecond\":49.7,\"sinceLastFrameMs\":3.1,"
              "\"avatarPosition\":[1.5,-2,0.100000001],\"avatarFront\":[0,0,1],\"avatarTop\":[0,null,0],"
              "\"cameraPosition\":[1.5,-2,0.100000001],\"cameraFront\":[0,0,1],\"cameraTop\":[0,null,0],"
              "\"identity\":\"Oru\\\"l\\\\i\\u001b\\n\",\"context\":\"CORVANE:WORLD:1\",\"contextLen\":15,"
              "\"name\":\"Corvane Voice Bridge\",\"description\":\"Corvane proximity voice "
              "positional-data bridge for World of Warcraft 3.3.5a.\",\"readers\":\"The link is read by a (pid 9).\"");
    // The whole record of this platform's layout, two lower-case digits a byte, in memory order.
    EXPECT_EQ(json.size() - raw, 8 + 2 * (sizeof(wchar_t) == 2 ? 5460 : 10580) + 2);
    EXPECT_EQ(json.substr(raw + 8, 16), "02000000d2040000");
    EXPECT_NE(formatJson(record, {}).find(":null,\"sinceLastFrameMs\":null,"), std::string::npos);
    EXPECT_NE(formatJson(record, {}).find(",\"readers\":null,\"raw\":"), std::string::npos);

    const std::string text = formatDisplay(record, {}) + formatDisplay(record, {49.96, 12.04}) +
                             formatDisplay(record, {}, "live, 50 frames a second");
    for (const char* line : {"\nBridge              live, 50 frames a second\nAvatar position",
                             "Avatar position              1.500        -2.000         0.100\n",
                             "Identity            Oru\"l\\i\\u001B\\u000A\n", "(measuring)", "s        50.0\n",
                             "(no new frame seen)", "12.0 ms\n", "CORVANE:WORLD:1  (15 bytes)\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    }
}

// --once: two ticks 100 ms apart; a wrap is a step, a restart one frame. The verdict shows
// above the record (checked with the display).
TEST(MonitorFormat, TellsALiveWriterFromARecordLeftBehind) {
    const std::tuple<std::uint32_t, std::uint32_t, std::int64_t, std::string> rows[] = {
        {7, 7, 100'000'000, "not changing: no bridge is publishing"},
        {100, 105, 100'000'000, "live, 50 frames a second"}, {5000, 2, 100'000'000, "live, 10 frames a second"},
        {0xFFFFFFFE, 3, 104'000'000, "live, 48 frames a second"},
    };
    for (const auto& [first, second, elapsed, text] : rows) {
        EXPECT_EQ(formatLiveness(first, second, elapsed), text) << first << " " << second;
    }
}

TEST(FrameRateMeter, CountsEveryFrameOnceASecondIsSampled) {
    constexpr std::int64_t kMs = 1'000'000;
    FrameRateMeter meter;
    meter.addSample(0, 1);
    meter.addSample(990 * kMs, 50);  // a late sampler sees 49 frames at once
    EXPECT_FALSE(meter.framesPerSecond()) << "not a second of samples yet";
    meter.addSample(1000 * kMs, 51);
    EXPECT_EQ(meter.framesPerSecond(), 50.0);
    meter.addSample(4000 * kMs, 51);  // the writer stopped
    EXPECT_EQ(meter.framesPerSecond(), 0.0);
    EXPECT_EQ(meter.sinceLastFrameMs(), 3000.0);
    // Back to the highest tick, a wrap, a different writer, a restarted one: one frame each.
    std::int64_t time = 4000 * kMs;
    for (std::uint32_t tick : {0xFFFFFFFFu, 0u, 500000u, 1u}) meter.addSample(time += 10 * kMs, tick);
    meter.addSample(6000 * kMs, 1);
    EXPECT_EQ(meter.framesPerSecond(), 2.0);
}

}  // namespace
