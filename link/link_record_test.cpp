#include "link/link_record.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace corvane {
namespace {

using Bytes = std::array<unsigned char, kLinkedMemSize>;

Bytes assembled(const LinkFrame& frame, std::uint32_t tick, unsigned char fill = 0) {
    LinkedMem record;
    std::memset(&record, fill, sizeof record);
    assembleRecord(frame, tick, record);
    Bytes bytes;
    std::memcpy(bytes.data(), &record, sizeof record);
    return bytes;
}

std::uint32_t u32At(const Bytes& bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(bytes[offset] | (bytes[offset + 1] << 8) |
                                      (bytes[offset + 2] << 16)) |
           (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

std::u16string unitsAt(const Bytes& bytes, std::size_t offset, std::size_t count) {
    std::u16string units;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = offset + 2 * i;
        units.push_back(static_cast<char16_t>(bytes[at] | (bytes[at + 1] << 8)));
    }
    return units;
}

// The whole text field: the text, then zero units to its end.
std::u16string padded(std::u16string text, std::size_t units) {
    text.resize(units, u'\0');
    return text;
}

LinkFrame defaultFrame() {
    LinkFrame frame;
    frame.identity = "CorvaneTest";
    frame.context = "CORVANE:WORLD:1";
    return frame;
}

TEST(AssembleRecord, PutsEveryFieldAtItsOffset) {
    // Eighteen distinct bit patterns, NaN payloads and a signalling NaN among them.
    static_assert(sizeof(Pose) == 18 * sizeof(std::uint32_t));
    const std::uint32_t bits[18] = {
        0x3F800000, 0x40000000, 0x40400000, 0x7FC12345, 0xFF800001, 0x80000000,
        0x00000001, 0x7F7FFFFF, 0xFF800000, 0xC2280000, 0x7F800000, 0x3EAAAAAB,
        0x4B7FFFFF, 0x7FA00000, 0x807FFFFF, 0x4C3EBC20, 0x00000000, 0xBF800000,
    };
    LinkFrame frame = defaultFrame();
    std::memcpy(&frame.pose, bits, sizeof bits);

    const Bytes b = assembled(frame, 0xDEADBEEF, 0xCC);
    EXPECT_EQ(u32At(b, 0), 2u);
    EXPECT_EQ(u32At(b, 4), 0xDEADBEEFu);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(u32At(b, 8 + 4 * i), bits[i]) << "avatar float " << i;
        EXPECT_EQ(u32At(b, 556 + 4 * i), bits[9 + i]) << "camera float " << i;
    }
    EXPECT_EQ(unitsAt(b, 44, 256), padded(u"Corvane Voice Bridge", 256));
    EXPECT_EQ(unitsAt(b, 592, 256), padded(u"CorvaneTest", 256));
    EXPECT_EQ(u32At(b, 1104), 15u);
    EXPECT_EQ(std::string(b.begin() + 1108, b.begin() + 1364),
              std::string("CORVANE:WORLD:1").append(256 - 15, '\0'));
    const std::u16string description =
        u"Corvane proximity voice positional-data bridge for World of Warcraft 3.3.5a.";
    EXPECT_EQ(unitsAt(b, 1364, 2048), padded(description, 2048));
}

TEST(AssembleRecord, WritesEveryByteWhateverTheBufferHeld) {
    const LinkFrame frame = defaultFrame();
    EXPECT_EQ(assembled(frame, 7, 0x00), assembled(frame, 7, 0xFF));
    EXPECT_EQ(assembled(frame, 7, 0x00), assembled(frame, 7, 0xA5));
}

TEST(AssembleRecord, FramesDifferOnlyInTick) {
    const LinkFrame frame = defaultFrame();
    Bytes first = assembled(frame, 1);
    Bytes second = assembled(frame, 2);
    EXPECT_EQ(u32At(first, 4), 1u);
    EXPECT_EQ(u32At(second, 4), 2u);
    std::memset(first.data() + 4, 0, 4);
    std::memset(second.data() + 4, 0, 4);
    EXPECT_EQ(first, second);
}

TEST(AssembleRecord, ConvertsAndCutsTheIdentity) {
    using namespace std::string_literals;
    const std::u16string a300(300, u'a');
    struct Case {
        const char* what;
        std::string identity;
        std::u16string units;  // the published units before the zero fill
    } cases[] = {
        {"default", "CorvaneTest", u"CorvaneTest"},
        {"empty", "", u""},
        {"cut at 255", std::string(300, 'a'), a300.substr(0, 255)},
        {"exactly 255", std::string(255, 'a'), a300.substr(0, 255)},
        {"pair split by the cut", std::string(254, 'a') + "\xF0\x9F\x98\x80",
         a300.substr(0, 254) + u"\xD83D"},
        {"pair before the cut", std::string(253, 'a') + "\xF0\x9F\x98\x80",
         a300.substr(0, 253) + u"\U0001F600"},
        {"outside the BMP", "\xF0\x90\x8D\x88", u"\U00010348"},
        {"not UTF-8", "\x41\xFF", u"\u0041\uFFFF"},
        {"embedded zero", "a\0b"s, u"a\0b"s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LinkFrame frame = defaultFrame();
        frame.identity = c.identity;
        const Bytes b = assembled(frame, 1, 0xEE);
        EXPECT_EQ(unitsAt(b, 592, 256), padded(c.units, 256));
    }
}

TEST(AssembleRecord, CopiesAndCutsTheContext) {
    using namespace std::string_literals;
    std::string bytes300;
    for (int i = 0; i < 300; ++i) bytes300.push_back(static_cast<char>(i + 1));
    struct Case {
        const char* what;
        std::string context;
        std::uint32_t length;
    } cases[] = {
        {"default", "CORVANE:WORLD:1", 15},
        {"empty", "", 0},
        {"raw bytes, not converted", "\xFF\0\xC3\xA9"s, 4},
        {"cut at 255", bytes300, 255},
        {"exactly 255", bytes300.substr(0, 255), 255},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LinkFrame frame = defaultFrame();
        frame.context = c.context;
        const Bytes b = assembled(frame, 1, 0xEE);
        EXPECT_EQ(u32At(b, 1104), c.length);
        std::string expected = c.context.substr(0, c.length);
        expected.resize(256, '\0');
        EXPECT_EQ(std::string(b.begin() + 1108, b.begin() + 1364), expected);
    }
}

TEST(StoreRecord, WritesExactlyTheRecord) {
    constexpr std::uint32_t kGuard = 0x5A5A5A5A;
    std::vector<std::uint32_t> buffer(kLinkedMemWords + 2, kGuard);
    const Bytes record = assembled(defaultFrame(), 42);
    LinkedMem source;
    std::memcpy(&source, record.data(), sizeof source);

    storeRecord(source, buffer.data() + 1);
    EXPECT_EQ(buffer.front(), kGuard);
    EXPECT_EQ(buffer.back(), kGuard);
    EXPECT_EQ(std::memcmp(buffer.data() + 1, record.data(), kLinkedMemSize), 0);

    clearRecord(buffer.data() + 1);
    EXPECT_EQ(buffer.front(), kGuard);
    EXPECT_EQ(buffer.back(), kGuard);
    for (std::size_t i = 1; i <= kLinkedMemWords; ++i) ASSERT_EQ(buffer[i], 0u) << "word " << i;
}

}  // namespace
}  // namespace corvane
