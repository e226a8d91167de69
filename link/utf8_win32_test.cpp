// Compares our portable decoder with MultiByteToWideChar on generated input,
// so the POSIX build's converter is known to accept exactly what Windows does.
#include "link/utf8.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

namespace corvane {
namespace {

class Generator {
public:
    explicit Generator(std::uint64_t seed) : engine_(seed) {}

    std::string next() { return below(2) == 0 ? randomBytes() : mutatedText(); }

private:
    // Plain modulo over the raw engine output keeps a seed's strings the same
    // with every standard library.
    std::uint32_t below(std::uint32_t bound) {
        return static_cast<std::uint32_t>(engine_() % bound);
    }
    std::uint32_t between(std::uint32_t low, std::uint32_t high) {
        return low + below(high - low + 1);
    }

    // Bytes weighted towards the classes a decoder must tell apart.
    std::string randomBytes() {
        std::string bytes;
        const std::uint32_t length = below(13);
        for (std::uint32_t i = 0; i < length; ++i) {
            std::uint32_t byte = 0;
            switch (below(4)) {
            case 0: byte = below(0x80); break;
            case 1: byte = between(0x80, 0xBF); break;
            case 2: byte = between(0xC0, 0xFF); break;
            default: byte = below(0x100); break;
            }
            bytes.push_back(static_cast<char>(byte));
        }
        return bytes;
    }

    std::uint32_t scalarValue() {
        switch (below(5)) {
        case 0: return below(0x80);
        case 1: return between(0x80, 0x7FF);
        case 2: return between(0x800, 0xD7FF);
        case 3: return between(0xE000, 0xFFFF);
        default: return between(0x10000, 0x10FFFF);
        }
    }

    // Encodes `value` in `length` bytes, overlong if it would fit in fewer.
    static void encode(std::uint32_t value, int length, std::string& out) {
        static constexpr unsigned kLeadMarks[] = {0, 0, 0xC0, 0xE0, 0xF0};
        out.push_back(static_cast<char>(kLeadMarks[length] | (value >> (6 * (length - 1)))));
        for (int k = length - 2; k >= 0; --k) {
            out.push_back(static_cast<char>(0x80 | ((value >> (6 * k)) & 0x3F)));
        }
    }

    static int shortestLength(std::uint32_t value) {
        return value < 0x80 ? 1 : value < 0x800 ? 2 : value < 0x10000 ? 3 : 4;
    }

    // A few valid characters with at most one fault put into one of them.
    std::string mutatedText() {
        std::string text;
        const std::uint32_t count = between(1, 4);
        const std::uint32_t target = below(count);
        const std::uint32_t mutation = below(6);  // 5 means none
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint32_t value = scalarValue();
            int length = shortestLength(value);
            if (i != target) {
                encode(value, length, text);
                continue;
            }
            switch (mutation) {
            case 0: {  // truncate
                std::string one;
                encode(value, length, one);
                text += one.substr(0, below(static_cast<std::uint32_t>(one.size())));
                break;
            }
            case 1: {  // damage a continuation byte
                std::string one;
                encode(value, length, one);
                if (one.size() > 1) {
                    one[1 + below(static_cast<std::uint32_t>(one.size() - 1))] =
                        static_cast<char>(below(0x100));
                }
                text += one;
                break;
            }
            case 2:  // overlong
                encode(value, length < 4 ? length + 1 : 4, text);
                break;
            case 3:  // encoded surrogate
                encode(between(0xD800, 0xDFFF), 3, text);
                break;
            case 4:  // beyond U+10FFFF, still in four bytes
                encode(between(0x110000, 0x1FFFFF), 4, text);
                break;
            default:
                encode(value, length, text);
                break;
            }
        }
        return text;
    }

    std::mt19937_64 engine_;
};

std::string hex(const std::string& bytes) {
    std::string text;
    for (unsigned char byte : bytes) {
        char buffer[4];
        std::snprintf(buffer, sizeof buffer, "%02X ", byte);
        text += buffer;
    }
    return text;
}

TEST(Utf8Differential, DecoderAgreesWithMultiByteToWideChar) {
    const std::uint64_t seed = 0x5EEDC0A7;
    Generator generator(seed);
    int accepted = 0;
    for (int i = 0; i < 200000; ++i) {
        const std::string input = generator.next();
        std::u16string ours;
        std::u16string windows;
        const bool oursOk = decodeUtf8Strict(input, ours);
        const bool windowsOk = platformUtf8ToUtf16(input, windows);
        if (oursOk != windowsOk || (oursOk && ours != windows)) {
            FAIL() << "seed " << seed << ", string " << i << ": " << hex(input) << "- decoder "
                   << (oursOk ? "accepts" : "rejects") << ", Windows "
                   << (windowsOk ? "accepts" : "rejects")
                   << (oursOk && windowsOk ? ", with other units" : "");
        }
        accepted += oursOk ? 1 : 0;
    }
    // Both kinds of input must have been exercised in quantity.
    EXPECT_GT(accepted, 20000) << "seed " << seed;
    EXPECT_LT(accepted, 180000) << "seed " << seed;
}

}  // namespace
}  // namespace corvane
