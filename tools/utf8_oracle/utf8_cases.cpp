#include "tools/utf8_oracle/utf8_cases.h"

#include <array>
#include <istream>
#include <ostream>
#include <string_view>

namespace corvane::utf8cases {
namespace {

// Bytes on either side of every boundary the decoder draws.
constexpr std::array<unsigned char, 16> kEdgeBytes = {
    0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xF4, 0xFF};

// Bytes that end or spoil a sequence, for the third and fourth places.
constexpr std::array<unsigned char, 6> kTailBytes = {0x00, 0x7F, 0x80, 0xBF, 0xC0, 0xFF};

// Appends in order (GCC 12 warns falsely about literal + string at -O3).
std::string join(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (std::string_view part : parts) text.append(part);
    return text;
}

std::string bytes(std::initializer_list<unsigned> values) {
    std::string text;
    for (unsigned value : values) text.push_back(static_cast<char>(value));
    return text;
}

// The UTF-8 pattern for `value` in exactly `length` bytes (1 to 6), whether or
// not that is the shortest form or a valid scalar at all.
std::string encodeAs(std::uint32_t value, int length) {
    if (length == 1) return bytes({value & 0x7F});
    std::string text(static_cast<std::size_t>(length), '\0');
    for (int i = length - 1; i > 0; --i) {
        text[static_cast<std::size_t>(i)] = static_cast<char>(0x80 | (value & 0x3F));
        value >>= 6;
    }
    const unsigned lead = (0xFF00u >> length) & 0xFF;
    text[0] = static_cast<char>(lead | (value & (0x7Fu >> length)));
    return text;
}

int shortestLength(std::uint32_t value) {
    if (value < 0x80) return 1;
    if (value < 0x800) return 2;
    if (value < 0x10000) return 3;
    if (value < 0x200000) return 4;
    if (value < 0x4000000) return 5;
    return 6;
}

std::string encode(std::uint32_t value) { return encodeAs(value, shortestLength(value)); }

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {  // splitmix64: the same sequence on every platform
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint32_t below(std::uint32_t bound) { return static_cast<std::uint32_t>(next() % bound); }

private:
    std::uint64_t state_;
};

std::uint32_t randomScalar(Random& random) {
    switch (random.below(4)) {
    case 0: return random.below(0x80);
    case 1: return 0x80 + random.below(0x800 - 0x80);
    case 2: return 0x800 + random.below(0x10000 - 0x800);  // surrogates included on purpose
    default: return 0x10000 + random.below(0x100000);
    }
}

void addBoundaryForms(std::vector<std::string>& cases) {
    // Scalars at the edges of every length, of the surrogates and of the range.
    const std::uint32_t edges[] = {0x00, 0x2F, 0x7F, 0x80, 0x7FF, 0x800, 0xD7FF, 0xD800, 0xDBFF,
                                   0xDC00, 0xDFFF, 0xE000, 0xFEFF, 0xFFFD, 0xFFFE, 0xFFFF,
                                   0x10000, 0x10FFFF, 0x110000, 0x13FFFF, 0x1FFFFF, 0x200000,
                                   0x3FFFFFF, 0x4000000, 0x7FFFFFFF};
    for (std::uint32_t value : edges) {
        // The shortest form and every longer (overlong) one.
        for (int length = shortestLength(value); length <= 6; ++length) {
            const std::string form = encodeAs(value, length);
            cases.push_back(form);
            cases.push_back(join({"A", form, "B"}));
            // Every truncation, alone, before ASCII and before a complete character.
            for (std::size_t cut = 1; cut < form.size(); ++cut) {
                cases.push_back(form.substr(0, cut));
                cases.push_back(join({form.substr(0, cut), "A"}));
                cases.push_back(join({"A", form.substr(0, cut)}));
                cases.push_back(form.substr(0, cut) + encode(0xE9));
                cases.push_back(form.substr(0, cut) + form);
            }
            // A stray continuation byte after it, and one too many in it.
            cases.push_back(form + bytes({0x80}));
            cases.push_back(form.substr(0, 1) + bytes({0xBF}) + form.substr(1));
        }
    }
    // Every surrogate as three bytes, alone and as the pairs CESU-8 would write.
    for (std::uint32_t value = 0xD800; value <= 0xDFFF; ++value) {
        cases.push_back(encodeAs(value, 3));
    }
    cases.push_back(encodeAs(0xD83D, 3) + encodeAs(0xDE00, 3));
    cases.push_back(encodeAs(0xDBFF, 3) + encodeAs(0xDFFF, 3));
    // Stray continuation bytes and zero bytes at the start, middle and end.
    for (unsigned stray : {0x80u, 0xBFu, 0x00u}) {
        const std::string one = bytes({stray});
        cases.push_back(join({one, "abc"}));
        cases.push_back(join({"a", one, "bc"}));
        cases.push_back(join({"abc", one}));
        cases.push_back(encode(0x20AC) + one + encode(0x1F600));
        cases.push_back(one + one + one);
    }
    cases.push_back(bytes({0x00, 0xF0, 0x9F, 0x98, 0x80, 0x00}));
    // Long strings: valid, and spoilt only at the very end.
    std::string longText;
    for (std::uint32_t value = 0x20; longText.size() < 20000; value = (value * 7 + 13) % 0x10FFFF) {
        if (value < 0xD800 || value > 0xDFFF) longText += encode(value);
    }
    cases.push_back(longText);
    cases.push_back(longText + bytes({0xE2, 0x82}));
    cases.push_back(longText + bytes({0xC0, 0x80}));
}

void addRandom(std::vector<std::string>& cases, std::uint64_t seed, int count) {
    Random random(seed);
    for (int n = 0; n < count; ++n) {
        const std::uint32_t length = 1 + random.below(48);
        std::string text;
        switch (random.below(3)) {
        case 0:  // any bytes
            while (text.size() < length) text.push_back(static_cast<char>(random.below(256)));
            break;
        case 1:  // boundary bytes only
            while (text.size() < length) {
                text.push_back(static_cast<char>(kEdgeBytes[random.below(16)]));
            }
            break;
        default:  // characters, then a few small injuries
            while (text.size() < length) text += encode(randomScalar(random));
            for (std::uint32_t hurt = random.below(4); hurt > 0 && !text.empty(); --hurt) {
                const std::size_t at = random.below(static_cast<std::uint32_t>(text.size()));
                switch (random.below(4)) {
                case 0: text[at] = static_cast<char>(text[at] ^ (1 << random.below(8))); break;
                case 1: text.erase(at, 1); break;
                case 2: text.insert(at, 1, static_cast<char>(random.below(256))); break;
                default: text.resize(at); break;
                }
            }
            if (text.empty()) text.push_back('x');
            break;
        }
        cases.push_back(std::move(text));
    }
}

void putWord(std::ostream& out, std::uint32_t value) {
    const char word[4] = {static_cast<char>(value), static_cast<char>(value >> 8),
                          static_cast<char>(value >> 16), static_cast<char>(value >> 24)};
    out.write(word, 4);
}

bool getWord(std::istream& in, std::uint32_t& value) {
    unsigned char word[4];
    if (!in.read(reinterpret_cast<char*>(word), 4)) return false;
    value = word[0] | (word[1] << 8) | (word[2] << 16) | (std::uint32_t{word[3]} << 24);
    return true;
}

}  // namespace

std::vector<std::string> generate(std::uint64_t seed) {
    std::vector<std::string> cases;
    cases.reserve(1'300'000);
    for (unsigned a = 0; a < 256; ++a) cases.push_back(bytes({a}));
    for (unsigned a = 0; a < 256; ++a) {
        for (unsigned b = 0; b < 256; ++b) cases.push_back(bytes({a, b}));
    }
    // Three bytes: every lead and second byte; four bytes: every lead from
    // 0xF0 and every second byte. The later bytes come from the edges.
    for (unsigned a = 0x80; a < 256; ++a) {
        for (unsigned b = 0; b < 256; ++b) {
            for (unsigned char c : kEdgeBytes) cases.push_back(bytes({a, b, c}));
        }
    }
    for (unsigned a = 0xF0; a < 256; ++a) {
        for (unsigned b = 0; b < 256; ++b) {
            for (unsigned char c : kTailBytes) {
                for (unsigned char d : kTailBytes) cases.push_back(bytes({a, b, c, d}));
            }
        }
    }
    // Every scalar value, 64 to a string (surrogates apart, above).
    std::string run;
    for (std::uint32_t value = 0; value <= 0x10FFFF; ++value) {
        if (value >= 0xD800 && value <= 0xDFFF) continue;
        run += encode(value);
        if (value % 64 == 63) {
            cases.push_back(run);
            run.clear();
        }
    }
    if (!run.empty()) cases.push_back(run);
    addBoundaryForms(cases);
    addRandom(cases, seed, 300'000);
    return cases;
}

void writeCases(std::ostream& out, const std::vector<std::string>& cases) {
    for (const std::string& text : cases) {
        putWord(out, static_cast<std::uint32_t>(text.size()));
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
}

bool readCases(std::istream& in, std::vector<std::string>& cases) {
    cases.clear();
    std::uint32_t length = 0;
    while (getWord(in, length)) {
        std::string text(length, '\0');
        if (!in.read(text.data(), static_cast<std::streamsize>(length))) return false;
        cases.push_back(std::move(text));
    }
    return in.eof();
}

void writeVerdict(std::ostream& out, const Verdict& verdict) {
    putWord(out, static_cast<std::uint32_t>(verdict.units));
    if (verdict.units <= 0) {
        putWord(out, verdict.error);
        return;
    }
    for (char16_t unit : verdict.text) {
        const char pair[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
        out.write(pair, 2);
    }
}

bool readVerdict(std::istream& in, Verdict& verdict) {
    std::uint32_t word = 0;
    if (!getWord(in, word)) return false;
    verdict.units = static_cast<std::int32_t>(word);
    verdict.text.clear();
    verdict.error = 0;
    if (verdict.units <= 0) return getWord(in, verdict.error);
    verdict.text.resize(static_cast<std::size_t>(verdict.units));
    for (char16_t& unit : verdict.text) {
        unsigned char pair[2];
        if (!in.read(reinterpret_cast<char*>(pair), 2)) return false;
        unit = static_cast<char16_t>(pair[0] | (pair[1] << 8));
    }
    return true;
}

}  // namespace corvane::utf8cases
