// Any identity and context bytes, tick and pose through the identity's
// conversion and the assembly of one record. The record is compared byte for
// byte with one built here from the published layout's offsets, so a text
// that overruns its limit, a missing terminator or a stale byte is caught.
//
// Input: 4 bytes tick, 72 bytes pose (18 floats), 2 bytes identity length,
// the identity, then the context (all little-endian; missing bytes are zero).

#include "fuzz/fuzz_check.h"
#include "link/link_frame.h"
#include "link/link_record.h"
#include "link/linked_mem.h"
#include "link/utf8.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

using corvane::kLinkedMemSize;

// Well-formed UTF-8 by the Unicode standard's table of byte sequences, decoded
// to UTF-16; written apart from the product's decoder so the two check each
// other.
bool referenceDecode(std::string_view text, std::u16string& out) {
    out.clear();
    std::size_t i = 0;
    const auto byte = [&text](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    while (i < text.size()) {
        const unsigned b0 = byte(i);
        std::size_t length = 0;
        if (b0 <= 0x7F) length = 1;
        else if (b0 >= 0xC2 && b0 <= 0xDF) length = 2;
        else if (b0 >= 0xE0 && b0 <= 0xEF) length = 3;
        else if (b0 >= 0xF0 && b0 <= 0xF4) length = 4;
        else return false;
        if (text.size() - i < length) return false;
        std::uint32_t scalar = length == 1 ? b0 : (b0 & (0x7Fu >> length));
        for (std::size_t k = 1; k < length; ++k) {
            if ((byte(i + k) & 0xC0) != 0x80) return false;
            scalar = (scalar << 6) | (byte(i + k) & 0x3F);
        }
        static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (scalar < kSmallest[length] || scalar > 0x10FFFF) return false;
        if (scalar >= 0xD800 && scalar <= 0xDFFF) return false;
        if (scalar < 0x10000) {
            out.push_back(static_cast<char16_t>(scalar));
        } else {
            out.push_back(static_cast<char16_t>(0xD7C0 + (scalar >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 | (scalar & 0x3FF)));
        }
        i += length;
    }
    return true;
}

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    // Takes `count` bytes, zero-padded when the input runs out.
    void take(void* out, std::size_t count) {
        std::memset(out, 0, count);
        const std::size_t available = std::min(count, size_ - used_);
        std::memcpy(out, data_ + used_, available);
        used_ += available;
    }
    std::string takeText(std::size_t count) {
        const std::size_t available = std::min(count, size_ - used_);
        std::string text(reinterpret_cast<const char*>(data_ + used_), available);
        used_ += available;
        return text;
    }
    std::string rest() { return takeText(size_ - used_); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t used_ = 0;
};

void putUnits(std::vector<unsigned char>& record, std::size_t offset, std::u16string_view units) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        record[offset + 2 * i] = static_cast<unsigned char>(units[i] & 0xFF);
        record[offset + 2 * i + 1] = static_cast<unsigned char>(units[i] >> 8);
    }
}

void putWord(std::vector<unsigned char>& record, std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        record[offset + i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    std::uint32_t tick = 0;
    input.take(&tick, sizeof tick);
    corvane::LinkFrame frame;
    input.take(&frame.pose, sizeof frame.pose);
    std::uint16_t identityLength = 0;
    input.take(&identityLength, sizeof identityLength);
    frame.identity = input.takeText(identityLength);
    frame.context = input.rest();

    // The conversion: the text itself when well-formed, else one sign-extended
    // unit per byte.
    const std::u16string converted = corvane::utf8ToUtf16(frame.identity);
    std::u16string reference;
    if (referenceDecode(frame.identity, reference)) {
        CORVANE_FUZZ_CHECK(converted == reference);
    } else {
        CORVANE_FUZZ_CHECK(converted.size() == frame.identity.size());
        for (std::size_t i = 0; i < converted.size(); ++i) {
            const auto byte = static_cast<unsigned char>(frame.identity[i]);
            CORVANE_FUZZ_CHECK(converted[i] == (byte < 0x80 ? byte : 0xFF00u | byte));
        }
    }

    // Garbage first, so every byte the assembly leaves alone shows up.
    auto record = std::make_unique<corvane::LinkedMem>();
    std::memset(record.get(), 0xA5, sizeof *record);
    corvane::assembleRecord(frame, tick, *record);

    std::vector<unsigned char> expected(kLinkedMemSize, 0);
    putWord(expected, 0, 2);
    putWord(expected, 4, tick);
    std::memcpy(&expected[8], &frame.pose, 36);     // avatar position, front, top
    std::memcpy(&expected[556], &frame.pose.cameraPosition, 36);
    putUnits(expected, 44, u"Corvane Voice Bridge");
    const std::size_t identityUnits = std::min<std::size_t>(converted.size(), 255);
    putUnits(expected, 592, std::u16string_view(converted).substr(0, identityUnits));
    const std::size_t contextBytes = std::min<std::size_t>(frame.context.size(), 255);
    putWord(expected, 1104, static_cast<std::uint32_t>(contextBytes));
    std::memcpy(&expected[1108], frame.context.data(), contextBytes);
    putUnits(expected, 1364,
             u"Corvane proximity voice positional-data bridge for World of Warcraft 3.3.5a.");

    CORVANE_FUZZ_CHECK(record->context_len <= 255);
    CORVANE_FUZZ_CHECK(std::memcmp(record.get(), expected.data(), kLinkedMemSize) == 0);

    // The store into shared memory copies exactly the record, no more.
    auto view = std::make_unique<std::uint32_t[]>(corvane::kLinkedMemWords);
    corvane::storeRecord(*record, view.get());
    CORVANE_FUZZ_CHECK(std::memcmp(view.get(), record.get(), kLinkedMemSize) == 0);
    return 0;
}
