// Arbitrary bytes as a settings file: the decoder's UTF-16 arithmetic (byte
// order marks, zero bytes, surrogate pairs, odd lengths), its notes and its
// quotes. The outcomes are tabled in cli/settings_file_test.cpp; here only
// what holds for every input, and that a well-formed UTF-8 text means the same
// saved as UTF-16 in either byte order.

#include "cli/settings_file.h"
#include "fuzz/fuzz_check.h"
#include "link/utf8.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace {

bool sameSettings(const corvane::SettingsText& a, const corvane::SettingsText& b) {
    if (a.errorLine != b.errorLine || a.error != b.error || a.settings.size() != b.settings.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.settings.size(); ++i) {
        const corvane::Setting &x = a.settings[i], &y = b.settings[i];
        if (x.line != y.line || x.name != y.name || x.value != y.value) return false;
    }
    return true;
}

std::string utf16WithMark(const std::u16string& units, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t unit : units) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const corvane::SettingsText text = corvane::decodeSettingsText(bytes);

    // A line is named when, and only when, something is wrong with it, and
    // every setting comes from a line before it, in order.
    CORVANE_FUZZ_CHECK((text.errorLine == 0) == text.error.empty());
    CORVANE_FUZZ_CHECK(text.errorLine >= 0 && static_cast<std::size_t>(text.errorLine) <= size + 1);
    int previous = 0;
    for (const corvane::Setting& setting : text.settings) {
        CORVANE_FUZZ_CHECK(setting.line > previous);
        CORVANE_FUZZ_CHECK(text.errorLine == 0 || setting.line < text.errorLine);
        previous = setting.line;
        // Names and values are UTF-8 of one line, without zero bytes; names
        // are trimmed and in lower case.
        for (const std::string& field : {setting.name, setting.value}) {
            std::u16string units;
            CORVANE_FUZZ_CHECK(corvane::decodeUtf8Strict(field, units));
            CORVANE_FUZZ_CHECK(field.find_first_of(std::string("\r\n\0", 3)) == std::string::npos);
        }
        const std::string& name = setting.name;
        CORVANE_FUZZ_CHECK(name.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ") == std::string::npos);
        CORVANE_FUZZ_CHECK(name.empty() || (name.front() != ' ' && name.front() != '\t' &&
                                            name.back() != ' ' && name.back() != '\t'));
    }

    // Well-formed UTF-8 without a mark and without zero bytes reads the same
    // saved as UTF-16 LE or BE with a mark.
    std::u16string units;
    if (!bytes.starts_with("\xEF\xBB\xBF") && bytes.find('\0') == std::string_view::npos &&
        corvane::decodeUtf8Strict(bytes, units)) {
        for (const bool bigEndian : {false, true}) {
            CORVANE_FUZZ_CHECK(sameSettings(corvane::decodeSettingsText(utf16WithMark(units, bigEndian)), text));
        }
    }
    return 0;
}
