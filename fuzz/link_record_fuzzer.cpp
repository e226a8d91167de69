// Any identity and context bytes, tick and pose through both identity
// conversions and the assembly of both record layouts, checking what must hold
// for every input: the conversions agree with each other and give only valid
// text, every byte of a record is written, the text fields end in zeros, and
// the store into shared memory copies exactly the record.
//
// Input: 4 bytes tick, 72 bytes pose (18 floats), 2 bytes identity length,
// the identity, then the context (all little-endian; missing bytes are zero).

#include "fuzz/fuzz_check.h"
#include "link/link_record.h"
#include "link/utf8.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace {

template <typename Record, typename Text>
void checkRecord(const corvane::LinkFrame& frame, std::uint32_t tick, const Text& identity) {
    auto record = std::make_unique<Record>(), other = std::make_unique<Record>();
    std::memset(record.get(), 0x00, sizeof(Record));
    std::memset(other.get(), 0xA5, sizeof(Record));
    corvane::assembleRecord(frame, tick, *record);
    corvane::assembleRecord(frame, tick, *other);
    CORVANE_FUZZ_CHECK(std::memcmp(record.get(), other.get(), sizeof(Record)) == 0);
    CORVANE_FUZZ_CHECK(record->uiTick == tick && std::memcmp(record->fAvatarPosition, &frame.pose, 36) == 0);

    const std::size_t units = std::min<std::size_t>(identity.size(), 255);
    CORVANE_FUZZ_CHECK(std::equal(identity.begin(), identity.begin() + units, record->identity));
    CORVANE_FUZZ_CHECK(std::all_of(record->identity + units, record->identity + 256, [](auto u) { return u == 0; }));
    const std::size_t bytes = std::min<std::size_t>(frame.context.size(), 255);
    CORVANE_FUZZ_CHECK(record->context_len == bytes && std::memcmp(record->context, frame.context.data(), bytes) == 0);
    CORVANE_FUZZ_CHECK(std::all_of(record->context + bytes, record->context + 256, [](auto b) { return b == 0; }));

    auto view = std::make_unique<std::uint32_t[]>(sizeof(Record) / 4);
    std::memset(view.get(), 0xA5, sizeof(Record));
    corvane::storeRecord(*record, view.get());
    CORVANE_FUZZ_CHECK(std::memcmp(view.get(), record.get(), sizeof(Record)) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size), head = input.substr(0, 78);
    head.resize(78, '\0');
    std::uint32_t tick = 0;
    std::uint16_t identityLength = 0;
    corvane::LinkFrame frame;
    std::memcpy(&tick, head.data(), 4);
    std::memcpy(&frame.pose, head.data() + 4, 72);
    std::memcpy(&identityLength, head.data() + 76, 2);
    const std::string rest = size > 78 ? input.substr(78) : std::string();
    frame.identity = rest.substr(0, identityLength);
    frame.context = rest.substr(frame.identity.size());

    // UTF-32 holds only scalar values, U+FFFD in place of each ill-formed byte;
    // where the text is well-formed, UTF-16 is the same text, otherwise one
    // sign-extended unit per byte.
    const std::u32string utf32 = corvane::utf8ToUtf32(frame.identity);
    const std::u16string utf16 = corvane::utf8ToUtf16(frame.identity);
    std::u16string strict, expected16;
    const bool wellFormed = corvane::decodeUtf8Strict(frame.identity, strict);
    for (char32_t code : utf32) {
        CORVANE_FUZZ_CHECK(code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF));
        if (code < 0x10000) expected16 += static_cast<char16_t>(code);
        else expected16 += {static_cast<char16_t>(0xD7C0 + (code >> 10)), static_cast<char16_t>(0xDC00 | (code & 0x3FF))};
    }
    CORVANE_FUZZ_CHECK(utf32.size() <= frame.identity.size());
    if (!wellFormed) {
        expected16.clear();
        for (unsigned char byte : frame.identity) expected16 += static_cast<char16_t>(byte < 0x80 ? byte : 0xFF00 | byte);
    }
    CORVANE_FUZZ_CHECK(utf16 == expected16 && (!wellFormed || strict == utf16));

    checkRecord<corvane::WindowsLinkedMem>(frame, tick, utf16);
    checkRecord<corvane::LinuxLinkedMem>(frame, tick, utf32);
    return 0;
}
