// Windows gives the bridge its arguments in UTF-16; the parser takes UTF-8.

#include "cli/utf8_arguments.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane {
namespace {

TEST(Utf8FromUtf16, GivesTheBytesOfWhatThePlayerTyped) {
    const std::pair<std::wstring, std::string> rows[] = {
        {L"", ""}, {L"CORVANE:WORLD:1", "CORVANE:WORLD:1"}, {L"\u58F0\u97F3", "\xE5\xA3\xB0\xE9\x9F\xB3"},
        {L"\u0416\u0430\u043D\u043D\u0430", "\xD0\x96\xD0\xB0\xD0\xBD\xD0\xBD\xD0\xB0"},
        {L"\xD83C\xDFB5!", "\xF0\x9F\x8E\xB5!"},  // U+1F3B5, a surrogate pair
        {L"a\xD800z", "a\xEF\xBF\xBDz"}, {L"\xDC00\xD83C", "\xEF\xBF\xBD\xEF\xBF\xBD"},  // unpaired: U+FFFD
    };
    for (const auto& [wide, utf8] : rows) EXPECT_EQ(utf8FromUtf16(wide), utf8);
}

}  // namespace
}  // namespace corvane
