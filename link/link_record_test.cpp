#include "link/link_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace corvane {
namespace {

// The published offsets, written out here so that a wrong struct cannot agree with itself.
struct Layout {
    std::size_t unit, size, camera, identity, contextLen, context, description;
};
constexpr Layout kWindows{2, 5460, 556, 592, 1104, 1108, 1364};
constexpr Layout kLinux{4, 10580, 1068, 1104, 2128, 2132, 2388};

using Bytes = std::vector<unsigned char>;

template <typename Record>
Bytes assembled(const LinkFrame& frame) {
    Record record;
    std::memset(&record, 0xEE, sizeof record);
    assembleRecord(frame, 0xDEADBEEF, record);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
    return {bytes, bytes + sizeof record};
}

// `count` little-endian values of `size` bytes from `offset`.
std::u32string at(const Bytes& bytes, std::size_t offset, std::size_t size, std::size_t count = 1) {
    std::u32string values(count, U'\0');
    for (std::size_t i = 0; i < count * size; ++i) values[i / size] |= char32_t{bytes.at(offset + i)} << 8 * (i % size);
    return values;
}

// A whole text field: the units, then zero units to the field's end.
std::u32string field(std::u32string text, std::size_t units) { return text.resize(units, U'\0'), text; }

struct IdentityRow {
    std::string bytes;
    std::u32string utf16, utf32;  // the units expected in each layout
};

template <typename Record>
void checkLayout(const Layout& l, std::u32string IdentityRow::*units) {
    std::uint32_t bits[18];  // signalling NaNs, each with its own payload
    for (std::uint32_t i = 0; i < 18; ++i) bits[i] = 0x7FA00000 + i;
    LinkFrame frame{{}, "", "CORVANE:WORLD:1"};
    std::memcpy(&frame.pose, bits, sizeof bits);
    const Bytes b = assembled<Record>(frame);
    ASSERT_EQ(b.size(), l.size);
    EXPECT_EQ(at(b, 0, 4, 2), U"\x00000002\xDEADBEEF");
    EXPECT_EQ(std::memcmp(b.data() + 8, bits, 36), 0) << "avatar vectors";
    EXPECT_EQ(std::memcmp(b.data() + l.camera, bits + 9, 36), 0) << "camera vectors";
    EXPECT_EQ(at(b, 44, l.unit, 256), field(U"Corvane Voice Bridge", 256));
    EXPECT_EQ(at(b, l.description, l.unit, 2048),
              field(U"Corvane proximity voice positional-data bridge for World of Warcraft 3.3.5a.", 2048));
    EXPECT_EQ(at(b, l.contextLen, 4), U"\x0F");
    EXPECT_EQ(std::string(b.begin() + l.context, b.begin() + l.context + 256), "CORVANE:WORLD:1" + std::string(241, '\0'));

    frame.context.clear();
    for (int i = 1; i <= 300; ++i) frame.context += static_cast<char>(i);  // 0x00 at 255, cut after 254
    const Bytes c = assembled<Record>(frame);
    EXPECT_EQ(at(c, l.contextLen, 4), U"\xFF");
    EXPECT_EQ(std::string(c.begin() + l.context, c.begin() + l.context + 256), frame.context.substr(0, 255) + '\0');

    std::string acute300, a254(254, 'a');
    for (int i = 0; i < 300; ++i) acute300 += "\xC3\xA9";
    const std::u32string a(254, U'a'), acute255(255, U'\u00E9');
    const IdentityRow rows[] = {
        {acute300, acute255, acute255},  // 255 units, not 255 bytes
        {a254 + "\xF0\x9F\x98\x80", a + U"\xD83D", a + U"\U0001F600"},  // the UTF-16 cut splits a pair
        {"a" + a254 + "\xF0\x9F\x98\x80", U"a" + a, U"a" + a},
        {"\x41\xFF", U"\x41\xFFFF", U"\x41\xFFFD"},  // not UTF-8: sign-extended bytes, U+FFFD
    };
    for (const IdentityRow& row : rows) {
        frame.identity = row.bytes;
        EXPECT_EQ(at(assembled<Record>(frame), l.identity, l.unit, 256), field(row.*units, 256))
            << row.bytes.size() << " identity bytes";
    }
}

TEST(AssembleRecord, WindowsLayoutHoldsUtf16Units) { checkLayout<WindowsLinkedMem>(kWindows, &IdentityRow::utf16); }
TEST(AssembleRecord, LinuxLayoutHoldsUtf32Units) { checkLayout<LinuxLinkedMem>(kLinux, &IdentityRow::utf32); }

}  // namespace
}  // namespace corvane
