#include "link/utf8.h"

#include <cstdint>

namespace corvane {

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

bool decodeUtf8Strict(std::string_view text, std::u16string& out) {
    out.clear();
    out.reserve(text.size());
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    std::size_t i = 0;
    while (i < size) {
        const unsigned lead = bytes[i];
        if (lead < 0x80) {
            out.push_back(static_cast<char16_t>(lead));
            ++i;
            continue;
        }
        std::size_t length = 0;
        std::uint32_t value = 0;
        // The first continuation byte's range rules out overlong forms,
        // surrogates and values above U+10FFFF in one test.
        unsigned low = 0x80;
        unsigned high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            value = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            value = lead & 0x0F;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            value = lead & 0x07;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            return false;  // stray continuation byte, C0, C1 or F5..FF
        }
        if (size - i < length) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const unsigned next = bytes[i + k];
            const unsigned lo = (k == 1) ? low : 0x80u;
            const unsigned hi = (k == 1) ? high : 0xBFu;
            if (next < lo || next > hi) return false;
            value = (value << 6) | (next & 0x3F);
        }
        if (value >= 0x10000) {
            value -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(value));
        }
        i += length;
    }
    return true;
}

}  // namespace corvane
