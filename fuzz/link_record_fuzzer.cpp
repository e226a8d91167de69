// Any identity and context bytes, tick and pose through both identity
// conversions and the assembly of both record layouts, checking what must hold
// for every input: UTF-32 text is valid, every byte of a record is written,
// the texts are cut and terminated, and the store into shared memory copies
// exactly the record and no more.
//
// Input: 4 bytes tick, 72 bytes pose (18 floats), 2 bytes identity length,
// the identity, then the context (all little-endian; missing bytes are zero).

#include "fuzz/fuzz_check.h"
#include "link/link_record.h"
#include "link/utf8.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {
using namespace corvane;

template <typename Record, typename Text>
void checkRecord(const LinkFrame& frame, std::uint32_t tick, const Text& identity) {
    auto record = std::make_unique<Record>(), dirty = std::make_unique<Record>();
    std::memset(dirty.get(), 0xA5, sizeof(Record));
    assembleRecord(frame, tick, *record);
    assembleRecord(frame, tick, *dirty);
    CORVANE_FUZZ_CHECK(std::memcmp(record.get(), dirty.get(), sizeof(Record)) == 0);
    const std::size_t units = std::min<std::size_t>(identity.size(), 255);
    const std::size_t bytes = std::min<std::size_t>(frame.context.size(), 255);
    CORVANE_FUZZ_CHECK(std::equal(identity.begin(), identity.begin() + units, record->identity));
    CORVANE_FUZZ_CHECK(record->identity[units] == 0 && record->context[bytes] == 0);
    CORVANE_FUZZ_CHECK(record->context_len == bytes);

    std::vector<std::uint32_t> view(sizeof(Record) / 4, 0xA5A5A5A5);
    storeRecord(*record, view.data());
    CORVANE_FUZZ_CHECK(std::memcmp(view.data(), record.get(), sizeof(Record)) == 0);
}

bool isScalarValue(char32_t code) { return code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    input.resize(std::max<std::size_t>(size, 78), '\0');
    std::uint32_t tick = 0;
    std::uint16_t identityLength = 0;
    LinkFrame frame;
    std::memcpy(&tick, input.data(), 4);
    std::memcpy(&frame.pose, input.data() + 4, 72);
    std::memcpy(&identityLength, input.data() + 76, 2);
    frame.identity = input.substr(78, identityLength);
    frame.context = input.substr(78 + frame.identity.size());

    const std::u32string utf32 = utf8ToUtf32(frame.identity);
    CORVANE_FUZZ_CHECK(std::all_of(utf32.begin(), utf32.end(), isScalarValue));  // whatever the bytes
    checkRecord<WindowsLinkedMem>(frame, tick, utf8ToUtf16(frame.identity));
    checkRecord<LinuxLinkedMem>(frame, tick, utf32);
    return 0;
}
