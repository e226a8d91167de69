#include "link/link_record.h"
#include "link/utf8.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {
using namespace corvane;

// The published offsets, written out here so that a wrong struct cannot agree with itself.
struct Layout { std::size_t unit, size, camera, identity, contextLen, context, description; };
constexpr Layout kWindows{2, 5460, 556, 592, 1104, 1108, 1364};
constexpr Layout kLinux{4, 10580, 1068, 1104, 2128, 2132, 2388};

// Run on both targets: on Windows the UTF-16 conversion is MultiByteToWideChar's,
// elsewhere our own strict decoder's, and both must give these results.
TEST(IdentityText, ConvertsWellFormedUtf8AndReplacesIllFormedBytes) {
    const std::u32string r = U"\uFFFD", r3 = r + r + r, r4 = r3 + r;
    const std::u32string low = {U'A', 0, 0x7F, 0x80, 0x7FF}, bmp = U"\u0800\uD7FF\uE000\uFFFF";
    // The units each conversion gives; UTF-16 of ill-formed text (empty here) is each byte sign-extended.
    const struct { std::string bytes; std::u32string utf16, utf32; } rows[] = {
        {std::string("A\0\x7F\xC2\x80\xDF\xBF", 7), low, low},
        {"\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF", bmp, bmp},
        {"\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", {0xD800, 0xDC00, 0xDBFF, 0xDFFF}, U"\U00010000\U0010FFFF"},
        // Overlong forms; then surrogates, values above U+10FFFF and bytes that never lead.
        {"\xC0\x80\xC1\xBF\xE0\x9F\xBF\xF0\x8F\xBF\xBF", {}, r + r + r + r + r3 + r4},
        {"\xED\xA0\x80\xED\xBF\xBF\xF4\x90\x80\x80\xF5\x80\x80\x80\x41\xFF", {}, r3 + r3 + r4 + r4 + U"A" + r},
        // Truncated sequences, in the text and at its end, and stray continuation bytes.
        {"a\xC3\xF0\x9F\x98\x41\x80\xC3\xA9\x80\xE2\x82", {}, U"a" + r + r3 + U"A" + r + U"\u00E9" + r3},
    };
    for (auto row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.bytes));
        for (unsigned char b : row.utf16.empty() ? row.bytes : "") row.utf16 += b < 0x80 ? b : 0xFF00 | b;
        const std::u16string utf16 = utf8ToUtf16(row.bytes);
        EXPECT_EQ(std::u32string(utf16.begin(), utf16.end()), row.utf16);
        EXPECT_EQ(utf8ToUtf32(row.bytes), row.utf32);
    }
    EXPECT_EQ(utf8ToUtf32(std::string_view("\xE2\x82\x82", 2)), r + r) << "a sequence cut by the text's end";
}

// `count` little-endian values of `size` bytes from `offset`.
std::u32string at(const std::string& bytes, std::size_t offset, std::size_t size, std::size_t count = 1) {
    std::u32string values(count, U'\0');
    for (std::size_t i = 0; i < count * size; ++i) {
        values[i / size] |= char32_t{static_cast<unsigned char>(bytes.at(offset + i))} << 8 * (i % size);
    }
    return values;
}

// A whole text field: the units, then zero units to the field's end.
std::u32string field(std::u32string text, std::size_t units) { return text.resize(units, U'\0'), text; }

template <typename Record>
void checkLayout(const Layout& l, const std::u32string& cutPair) {
    std::uint32_t bits[18];  // signalling NaNs, each with its own payload
    for (std::uint32_t i = 0; i < 18; ++i) bits[i] = 0x7FA00000 + i;
    // 300 units in UTF-32, cut after 255 units (the last one U+1F600), not after 255 bytes.
    LinkFrame frame{{}, std::string(254, 'a') + "\xF0\x9F\x98\x80" + std::string(45, 'b'), ""};
    std::memcpy(&frame.pose, bits, sizeof bits);
    for (int i = 0; i < 300; ++i) frame.context += static_cast<char>(i * 7);  // 0 first; cut after 255 bytes
    Record record;
    std::memset(&record, 0xEE, sizeof record);  // every byte must be written over
    assembleRecord(frame, 0xDEADBEEF, record);
    const std::string b(reinterpret_cast<const char*>(&record), sizeof record);
    ASSERT_EQ(b.size(), l.size);
    EXPECT_EQ(at(b, 0, 4, 2), U"\x00000002\xDEADBEEF");
    EXPECT_EQ(b.substr(8, 36) + b.substr(l.camera, 36), std::string(reinterpret_cast<char*>(bits), 72));
    EXPECT_EQ(at(b, 44, l.unit, 256), field(U"Corvane Voice Bridge", 256));
    EXPECT_EQ(at(b, l.identity, l.unit, 256), field(std::u32string(254, U'a') + cutPair, 256));
    EXPECT_EQ(at(b, l.contextLen, 4), U"\xFF");
    EXPECT_EQ(b.substr(l.context, 256), frame.context.substr(0, 255) + '\0');
    EXPECT_EQ(at(b, l.description, l.unit, 2048),
              field(U"Corvane proximity voice positional-data bridge for World of Warcraft 3.3.5a.", 2048));
}

// In UTF-16 the cut splits the pair of U+1F600; in UTF-32 it is one unit.
TEST(AssembleRecord, WindowsLayout) { checkLayout<WindowsLinkedMem>(kWindows, U"\xD83D"); }
TEST(AssembleRecord, LinuxLayout) { checkLayout<LinuxLinkedMem>(kLinux, U"\U0001F600"); }

}  // namespace
