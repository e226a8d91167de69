#include "link/utf8.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace corvane {
namespace {

std::u16string signExtended(std::string_view bytes) {
    std::u16string units;
    for (unsigned char byte : bytes) {
        units.push_back(static_cast<char16_t>(byte < 0x80 ? byte : 0xFF00 | byte));
    }
    return units;
}

struct ConversionCase {
    const char* what;
    std::string bytes;
    std::optional<std::u16string> units;  // empty for ill-formed input
};

// Run on both targets: on Windows the platform converter is MultiByteToWideChar,
// elsewhere our own decoder, and both must give these results.
TEST(Utf8ToUtf16, ConvertsWellFormedAndFallsBackByteWise) {
    using namespace std::string_literals;
    const ConversionCase cases[] = {
        {"empty", "", u""},
        {"ascii", "CorvaneTest", u"CorvaneTest"},
        {"embedded zero", "a\0b"s, u"a\0b"s},
        {"U+0080", "\xC2\x80", u"\u0080"},
        {"U+07FF", "\xDF\xBF", u"\u07FF"},
        {"U+0800", "\xE0\xA0\x80", u"\u0800"},
        {"U+D7FF", "\xED\x9F\xBF", u"\uD7FF"},
        {"U+E000", "\xEE\x80\x80", u"\uE000"},
        {"U+FFFE noncharacter", "\xEF\xBF\xBE", u"\uFFFE"},
        {"U+FFFF noncharacter", "\xEF\xBF\xBF", u"\uFFFF"},
        {"U+10000", "\xF0\x90\x80\x80", u"\U00010000"},
        {"U+10FFFF", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        {"mixed", "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z", u"a\u00E9\u20AC\U0001F600z"},
        {"overlong C0 80", "\xC0\x80", std::nullopt},
        {"overlong C1 BF", "\xC1\xBF", std::nullopt},
        {"overlong E0 80 80", "\xE0\x80\x80", std::nullopt},
        {"overlong E0 9F BF", "\xE0\x9F\xBF", std::nullopt},
        {"overlong F0 80 80 80", "\xF0\x80\x80\x80", std::nullopt},
        {"overlong F0 8F BF BF", "\xF0\x8F\xBF\xBF", std::nullopt},
        {"surrogate ED A0 80", "\xED\xA0\x80", std::nullopt},
        {"surrogate ED BF BF", "\xED\xBF\xBF", std::nullopt},
        {"above U+10FFFF", "\xF4\x90\x80\x80", std::nullopt},
        {"lead F5", "\xF5\x80\x80\x80", std::nullopt},
        {"lead FF", "A\xFF", std::nullopt},
        {"truncated 2-byte at end", "a\xC3", std::nullopt},
        {"truncated 3-byte at end", "\xE2\x82", std::nullopt},
        {"truncated 4-byte at end", "\xF0\x9F\x98", std::nullopt},
        {"truncated 2-byte in middle", "\xC3\x41", std::nullopt},
        {"truncated 4-byte in middle", "\xF0\x9F\x98\x41", std::nullopt},
        {"stray continuation alone", "\x80", std::nullopt},
        {"stray continuation inside", "a\xBF" "b", std::nullopt},
        {"continuation after complete sequence", "\xC3\xA9\x80", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.what) + ": " + ::testing::PrintToString(c.bytes));
        const std::u16string expected = c.units ? *c.units : signExtended(c.bytes);
        EXPECT_EQ(utf8ToUtf16(c.bytes), expected);

        std::u16string platform;
        const bool accepted = platformUtf8ToUtf16(c.bytes, platform);
        EXPECT_EQ(accepted, c.units.has_value());
        if (accepted && c.units) {
            EXPECT_EQ(platform, *c.units);
        }

        std::u16string decoded;
        EXPECT_EQ(decodeUtf8Strict(c.bytes, decoded), c.units.has_value());
        if (c.units) {
            EXPECT_EQ(decoded, *c.units);
        }
    }
}

TEST(Utf8ToUtf16, FallbackSignExtendsEveryHighByte) {
    EXPECT_EQ(utf8ToUtf16(std::string("\x41\xFF\x00\x80", 4)),
              (std::u16string{0x0041, 0xFFFF, 0x0000, 0xFF80}));
}

}  // namespace
}  // namespace corvane
