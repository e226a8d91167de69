#include "link/utf8.h"

#include <cstdint>

namespace corvane {
namespace {

// Decodes the well-formed sequence that starts at text[at] into `code` and
// returns its length in bytes, or 0 when no well-formed sequence starts there.
std::size_t decodeOne(std::string_view text, std::size_t at, char32_t& code) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned lead = byte(at);
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    std::size_t length = 0;
    // The first continuation byte's range rules out overlong forms,
    // surrogates and values above U+10FFFF in one test.
    unsigned low = 0x80;
    unsigned high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;  // stray continuation byte, C0, C1 or F5..FF
    }
    if (text.size() - at < length) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const unsigned next = byte(at + k);
        if (next < (k == 1 ? low : 0x80u) || next > (k == 1 ? high : 0xBFu)) return 0;
        code = (code << 6) | (next & 0x3F);
    }
    return length;
}

}  // namespace

std::size_t decodeUtf8Sequence(std::string_view text, char32_t& code) {
    return text.empty() ? 0 : decodeOne(text, 0, code);
}

std::u16string utf8ToUtf16(std::string_view text) {
    std::u16string converted;
    if (text.empty()) return converted;
    if (platformUtf8ToUtf16(text, converted) && !converted.empty()) return converted;

    converted.clear();
    converted.reserve(text.size());
    for (char byte : text) {
        // Sign extension: 0x80..0xFF become 0xFF80..0xFFFF.
        const auto value = static_cast<std::int16_t>(static_cast<signed char>(byte));
        converted.push_back(static_cast<char16_t>(value));
    }
    return converted;
}

std::u32string utf8ToUtf32(std::string_view text) {
    std::u32string converted;
    converted.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t code = 0;
        const std::size_t length = decodeOne(text, i, code);
        converted.push_back(length == 0 ? U'\uFFFD' : code);
        i += length == 0 ? 1 : length;
    }
    return converted;
}

void appendUtf8(std::string& out, char32_t code) {
    const auto put = [&out](char32_t bits) { out.push_back(static_cast<char>(bits)); };
    if (code < 0x80) {
        put(code);
    } else if (code < 0x800) {
        put(0xC0 | (code >> 6));
        put(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        put(0xE0 | (code >> 12));
        put(0x80 | ((code >> 6) & 0x3F));
        put(0x80 | (code & 0x3F));
    } else {
        put(0xF0 | (code >> 18));
        put(0x80 | ((code >> 12) & 0x3F));
        put(0x80 | ((code >> 6) & 0x3F));
        put(0x80 | (code & 0x3F));
    }
}

bool decodeUtf8Strict(std::string_view text, std::u16string& out) {
    out.clear();
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t code = 0;
        const std::size_t length = decodeOne(text, i, code);
        if (length == 0) return false;
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
        i += length;
    }
    return true;
}

}  // namespace corvane
