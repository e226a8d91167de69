#include "cli/settings_file.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace corvane {
namespace {

using namespace std::string_literals;

// Each setting as "line:name=value", or the error as "line:error".
std::vector<std::string> decoded(const std::string& bytes) {
    const SettingsText text = decodeSettingsText(bytes);
    std::vector<std::string> out;
    for (const Setting& s : text.settings) {
        out.push_back(std::to_string(s.line) + ":" + s.name + "=" + s.value + (s.unclosedQuote ? " (unclosed)" : ""));
    }
    if (text.errorLine != 0) out.push_back(std::to_string(text.errorLine) + ":" + text.error);
    return out;
}

const std::string kNotUtf8 =
    "the text is not UTF-8 (the file looks saved in the ANSI code page): save it as UTF-8";
const std::string kNotUtf16 = "the text is not valid UTF-16: save it as UTF-8";

// What editors save: UTF-8 (with its mark or without), UTF-16 LE and BE ("Жанна𝄞").
TEST(SettingsText, DecodesWhatEditorsSaveAndPlayersWrite) {
    const std::pair<std::string, std::vector<std::string>> rows[] = {
        {"\xEF\xBB\xBF# mine\n\n ;old\r\n\t wow\t=  yes \rcontext=a = b\n  = x",
         {"4:wow=yes", "5:context=a = b", "6:=x"}},
        {"\xFF\xFEi\0d\0=\0\x16\x04\x30\x04\x3D\x04\x3D\x04\x30\x04\x34\xD8\x1E\xDD\r\0\n\0x\0=\0\x31\0"s,
         {"1:id=\xD0\x96\xD0\xB0\xD0\xBD\xD0\xBD\xD0\xB0\xF0\x9D\x84\x9E", "2:x=1"}},
        {"\xFE\xFF\0i\0d\0=\x04\x16\xD8\x34\xDD\x1E"s, {"1:id=\xD0\x96\xF0\x9D\x84\x9E"}},
        // Without the mark, told by the zero bytes of the first (ASCII) character.
        {"i\0d\0=\0\x16\x04\r\0\n\0"s, {"1:id=\xD0\x96"}},
        {"\0 \0i\0d\0=\x04\x16"s, {"1:id=\xD0\x96"}},
        // As players write values: a note after a blank, quotes round the whole value, any case.
        {"context = CORVANE:WORLD:1  # from guild\nA = x;y#z\t; tab\nIdentity = \"Zo\xC3\xAB\" # alt\n"
         "b = \"The \"Bard\" Lee\"\nc = \"a # b\" ;x\nd = say \"hi\"\nE = \"\"\nf = \"x\" y # z\ng = \"x\n"
         "h = # your name\ni =\t;x\nj =#k",
         {"1:context=CORVANE:WORLD:1", "2:a=x;y#z", "3:identity=Zo\xC3\xAB", "4:b=The \"Bard\" Lee",
          "5:c=a # b", "6:d=say \"hi\"", "7:e=", "8:f=\"x\" y", "9:g=\"x (unclosed)", "10:h=", "11:i=",
          "12:j=#k"}},
        {"wow # = yes", {"1:no \"=\": write name = value"}},
        {"", {}}, {"\xEF\xBB\xBF", {}},
        // The first bad line is named; the lines before it are kept.
        {"a=1\nidentity Oruli\nb=2", {"1:a=1", "2:no \"=\": write name = value"}},
        {"a=1\r\nidentity=\xC6\xF0\xED\xED\xE0\n", {"1:a=1", "2:" + kNotUtf8}},  // cp1251
        {"a=1\n\nb=\0"s, {"1:a=1", "3:" + kNotUtf8}},
        {"\xFF\xFE" "a\0=\0\n\0b\0=\0\x00\xD8x\0"s, {"1:a=", "2:" + kNotUtf16}},  // lone surrogate
        {"\xFF\xFE" "a\0=\0\n\0\n\0b"s, {"1:a=", "3:" + kNotUtf16}},             // odd length
    };
    for (const auto& [bytes, expected] : rows) EXPECT_EQ(decoded(bytes), expected) << bytes;
}

}  // namespace
}  // namespace corvane
