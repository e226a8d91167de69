#include "link/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane {
namespace {

struct Row {
    std::string bytes;
    bool wellFormed;
    std::u16string utf16;  // when well-formed; otherwise each byte sign-extended
    std::u32string utf32;  // U+FFFD for each byte outside a well-formed sequence
};

// Run on both targets: on Windows the platform converter is MultiByteToWideChar,
// elsewhere our own decoder, and both must give these results.
TEST(Utf8, ConvertsWellFormedTextAndReplacesIllFormedBytes) {
    const std::u32string r2 = U"\uFFFD\uFFFD", r3 = r2 + U"\uFFFD", r4 = r3 + U"\uFFFD";
    const Row rows[] = {
        {"", true, u"", U""},
        {std::string("A\0\x7F", 3), true, std::u16string(u"A\0\x7F", 3), std::u32string(U"A\0\x7F", 3)},
        {"\xC2\x80\xDF\xBF", true, u"\u0080\u07FF", U"\u0080\u07FF"},
        {"\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF", true, u"\u0800\uD7FF\uE000\uFFFF", U"\u0800\uD7FF\uE000\uFFFF"},
        {"\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", true, u"\U00010000\U0010FFFF", U"\U00010000\U0010FFFF"},
        {"a\xC3\xA9\xF0\x9F\x98\x80", true, u"a\u00E9\U0001F600", U"a\u00E9\U0001F600"},
        {"\xC0\x80", false, {}, r2},  // overlong
        {"\xC1\xBF", false, {}, r2},
        {"\xE0\x9F\xBF", false, {}, r3},
        {"\xF0\x8F\xBF\xBF", false, {}, r4},
        {"\xED\xA0\x80", false, {}, r3},  // surrogates
        {"\xED\xBF\xBF", false, {}, r3},
        {"\xF4\x90\x80\x80", false, {}, r4},  // above U+10FFFF
        {"\xF5\x80\x80\x80", false, {}, r4},
        {"A\xFF", false, {}, U"A\uFFFD"},
        {"a\xC3", false, {}, U"a\uFFFD"},  // truncated
        {"\xE2\x82", false, {}, r2},
        {"\xF0\x9F\x98\x41", false, {}, r3 + U"A"},
        {"\x80", false, {}, r2.substr(1)},  // stray continuation bytes
        {"\xC3\xA9\x80", false, {}, U"\u00E9\uFFFD"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.bytes));
        std::u16string expected = row.utf16, platform, decoded;
        if (!row.wellFormed) {
            for (unsigned char byte : row.bytes) expected += static_cast<char16_t>(byte < 0x80 ? byte : 0xFF00 | byte);
        }
        EXPECT_EQ(utf8ToUtf16(row.bytes), expected);
        EXPECT_EQ(utf8ToUtf32(row.bytes), row.utf32);
        EXPECT_EQ(platformUtf8ToUtf16(row.bytes, platform), row.wellFormed);
        EXPECT_EQ(decodeUtf8Strict(row.bytes, decoded), row.wellFormed);
        EXPECT_TRUE(!row.wellFormed || (platform == row.utf16 && decoded == row.utf16));
    }
}

}  // namespace
}  // namespace corvane
