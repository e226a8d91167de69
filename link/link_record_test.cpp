#include "link/link_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace corvane {
namespace {

using Bytes = std::array<unsigned char, kLinkedMemSize>;

Bytes assembled(const LinkFrame& frame, std::uint32_t tick, unsigned char fill = 0xEE) {
    LinkedMem record;
    std::memset(&record, fill, sizeof record);
    assembleRecord(frame, tick, record);
    return std::bit_cast<Bytes>(record);
}

// The targets are little-endian, as the record is.
std::uint32_t u32At(const Bytes& bytes, std::size_t offset) {
    return std::bit_cast<std::array<std::uint32_t, kLinkedMemWords>>(bytes)[offset / 4];
}

// A whole text field: the text, then zero units to the field's end.
void expectText(const Bytes& bytes, std::size_t offset, std::size_t units, std::u16string text) {
    text.resize(units, u'\0');
    std::u16string field(units, u'\0');
    std::memcpy(field.data(), bytes.data() + offset, 2 * units);
    EXPECT_EQ(field, text) << "field at " << offset;
}

// context_len, then the bytes and zeros to the array's end.
void expectContext(const Bytes& bytes, std::string text) {
    EXPECT_EQ(u32At(bytes, 1104), text.size());
    text.resize(256, '\0');
    EXPECT_EQ(std::string(bytes.begin() + 1108, bytes.begin() + 1364), text);
}

const LinkFrame kDefaultFrame{{}, "CorvaneTest", "CORVANE:WORLD:1"};

TEST(AssembleRecord, PutsEveryFieldAtItsOffset) {
    // Eighteen distinct bit patterns, NaN payloads and a signalling NaN among them.
    const std::uint32_t bits[18] = {
        0x3F800000, 0x40000000, 0x40400000, 0x7FC12345, 0xFF800001, 0x80000000,
        0x00000001, 0x7F7FFFFF, 0xFF800000, 0xC2280000, 0x7F800000, 0x3EAAAAAB,
        0x4B7FFFFF, 0x7FA00000, 0x807FFFFF, 0x4C3EBC20, 0x00000000, 0xBF800000,
    };
    LinkFrame frame = kDefaultFrame;
    std::memcpy(&frame.pose, bits, sizeof bits);

    const Bytes b = assembled(frame, 0xDEADBEEF, 0xCC);
    EXPECT_EQ(u32At(b, 0), 2u);
    EXPECT_EQ(u32At(b, 4), 0xDEADBEEFu);
    EXPECT_EQ(std::memcmp(b.data() + 8, bits, 36), 0) << "avatar vectors";
    EXPECT_EQ(std::memcmp(b.data() + 556, bits + 9, 36), 0) << "camera vectors";
    expectText(b, 44, 256, u"Corvane Voice Bridge");
    expectText(b, 592, 256, u"CorvaneTest");
    expectContext(b, "CORVANE:WORLD:1");
    expectText(b, 1364, 2048,
               u"Corvane proximity voice positional-data bridge for World of Warcraft 3.3.5a.");

    // Every byte is written, whatever the buffer held before.
    EXPECT_EQ(assembled(frame, 7, 0x00), assembled(frame, 7, 0xFF));
}

TEST(AssembleRecord, ConvertsAndCutsTheIdentity) {
    using namespace std::string_literals;
    const std::u16string a255(255, u'a');
    const std::string emoji = "\xF0\x9F\x98\x80";
    // The cut at 255 units may split a surrogate pair.
    const std::pair<std::string, std::u16string> cases[] = {
        {"", u""},
        {std::string(300, 'a'), a255},
        {std::string(254, 'a') + emoji, a255.substr(0, 254) + u"\xD83D"},
        {std::string(253, 'a') + emoji, a255.substr(0, 253) + u"\U0001F600"},
        {"\xF0\x90\x8D\x88", u"\U00010348"},
        {"\x41\xFF", u"\u0041\uFFFF"},  // not UTF-8: byte-wise, sign-extended
        {"a\0b"s, u"a\0b"s},
    };
    for (const auto& [identity, units] : cases) {
        LinkFrame frame = kDefaultFrame;
        frame.identity = identity;
        SCOPED_TRACE(std::to_string(identity.size()) + " bytes");
        expectText(assembled(frame, 1), 592, 256, units);
    }
}

TEST(AssembleRecord, CopiesAndCutsTheContext) {
    using namespace std::string_literals;
    std::string bytes300;
    for (int i = 0; i < 300; ++i) bytes300.push_back(static_cast<char>(i + 1));
    for (const std::string& context : {""s, "\xFF\0\xC3\xA9"s, bytes300}) {
        LinkFrame frame = kDefaultFrame;
        frame.context = context;
        SCOPED_TRACE(std::to_string(context.size()) + " bytes");
        expectContext(assembled(frame, 1), context.substr(0, 255));
    }
}

TEST(StoreRecord, WritesEveryWordOfTheRecordAndNothingElse) {
    constexpr std::uint32_t kGuard = 0x5A5A5A5A;
    std::vector<std::uint32_t> buffer(kLinkedMemWords + 2, kGuard);
    std::vector<std::uint32_t> expected(kLinkedMemWords + 2, 0);
    expected.front() = expected.back() = kGuard;
    clearRecord(buffer.data() + 1);
    EXPECT_EQ(buffer, expected);

    LinkedMem record;
    std::memset(&record, 0xAB, sizeof record);
    storeRecord(record, buffer.data() + 1);
    std::fill(expected.begin() + 1, expected.end() - 1, 0xABABABABu);
    EXPECT_EQ(buffer, expected);
}

}  // namespace
}  // namespace corvane
