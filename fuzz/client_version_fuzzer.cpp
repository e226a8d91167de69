// A hostile program image through the version read. The input picks the
// format and version of a well-formed image (sometimes at the top of the
// address space), then overwrites or hides bytes near each of its structures
// with values of its own; the rest of the input is laid raw over the
// resource section.
//
// Checked: no crash; at most 14 reads, none of more than 512 bytes; the same
// answer twice.

#include "fuzz/fuzz_check.h"
#include "game/client_version.h"
#include "tests/support/pe_image.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvane;
    FuzzInput in{data, size};
    MemoryImage image;
    pe::Image s;
    const std::uint8_t shape = in.take<std::uint8_t>();
    s.plus = (shape & 1) != 0;
    if (shape & 2) s.base = 0xFFFFFFFFFFFF0000 + (in.take<std::uint16_t>() & 0xF000);
    for (auto& field : s.version) field = in.take<std::uint16_t>();
    pe::layOut(image, s);
    const std::uint64_t anchors[] = {s.base, s.base + 0x3C, s.base + pe::kPeAt, s.optional(), s.resourceDirectory(),
                                     s.resource(pe::kTypes), s.resource(pe::kNames), s.resource(pe::kLanguages),
                                     s.resource(pe::kDataEntry), s.resource(pe::kVersionInfo), s.resource(pe::kFixed)};
    for (int edits = in.take<std::uint8_t>() % 16; edits > 0 && in.size > 0; --edits) {
        const std::uint8_t op = in.take<std::uint8_t>();
        const std::uint64_t at = anchors[op % std::size(anchors)] + in.take<std::uint8_t>();
        if (op & 0x80) image.makeUnreadable(at, 1 + in.take<std::uint8_t>() % 16);
        else if (op & 0x40) image.putU32(at, in.take<std::uint32_t>());
        else image.putBytes(at, "\xFF\xFF", 2);  // counts and IDs at their largest
    }
    if (in.size > 0) image.putBytes(s.resource(0), in.data, in.size);

    image.clearReads();
    const auto version = readClientVersion(image, s.base);
    CORVANE_FUZZ_CHECK(image.readCount() <= 14);
    for (const auto& read : image.reads()) CORVANE_FUZZ_CHECK(read.size <= 512);
    CORVANE_FUZZ_CHECK(readClientVersion(image, s.base) == version);
    return 0;
}
