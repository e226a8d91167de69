// Arbitrary bytes as a settings file: the decoder's UTF-16 arithmetic (byte
// order marks, zero bytes, surrogate pairs, odd lengths), its notes and its
// quotes. The outcomes are tabled in cli/settings_file_test.cpp; here only
// what holds for every input, and that well-formed UTF-8 means the same saved
// as UTF-16 in either byte order.

#include "cli/settings_file.h"
#include "fuzz/fuzz_check.h"
#include "link/utf8.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace {

// Everything decoded, one field a line, to compare two decodings.
std::string decoded(std::string_view bytes) {
    const corvane::SettingsText text = corvane::decodeSettingsText(bytes);
    CORVANE_FUZZ_CHECK((text.errorLine == 0) == text.error.empty());
    std::string out = std::to_string(text.errorLine) + text.error;
    for (const corvane::Setting& s : text.settings) {
        // Names and values are UTF-8 text of one line, before any line named as wrong.
        std::u16string units;
        CORVANE_FUZZ_CHECK(corvane::decodeUtf8Strict(s.name + s.value, units) &&
                           (s.name + s.value).find_first_of(std::string("\r\n\0", 3)) == std::string::npos &&
                           (text.errorLine == 0 || s.line < text.errorLine));
        out += "\n" + std::to_string(s.line) + "\n" + s.name + "\n" + s.value;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string utf8 = decoded(bytes);
    std::u16string units;
    if (bytes.starts_with("\xEF\xBB\xBF") || bytes.find('\0') != std::string_view::npos ||
        !corvane::decodeUtf8Strict(bytes, units)) {
        return 0;
    }
    for (const bool bigEndian : {false, true}) {
        std::string utf16 = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        for (const char16_t unit : units) {
            const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
            utf16 += {bigEndian ? high : low, bigEndian ? low : high};
        }
        CORVANE_FUZZ_CHECK(decoded(utf16) == utf8);
    }
    return 0;
}
