// A hostile program image through the version read. The input picks the
// format and version of a well-formed image, then overwrites or hides bytes
// near each of its structures (headers, directories, entries, the version
// information) with values of its own; the rest of the input, if any, is
// raw bytes laid over the resource section.
//
// Checked: no crash; a bounded number of reads, none large; the same answer
// twice; a version only where the image still carries the version signature.

#include "fuzz/fuzz_check.h"
#include "game/client_version.h"
#include "tests/support/pe_image.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using namespace corvane;

struct Input {
    const std::uint8_t* data;
    std::size_t size;
    template <typename T>
    T take() {
        T value{};
        const std::size_t n = sizeof value < size ? sizeof value : size;
        std::memcpy(&value, data, n);
        data += n, size -= n;
        return value;
    }
};

pe::Image build(Input& in, MemoryImage& image) {
    pe::Image s;
    const std::uint8_t shape = in.take<std::uint8_t>();
    s.plus = (shape & 1) != 0;
    if (shape & 2) s.base = 0xFFFFFFFFFFFF0000 + (in.take<std::uint16_t>() & 0xF000);
    for (auto& field : s.version) field = in.take<std::uint16_t>();
    pe::layOut(image, s);
    const std::uint64_t anchors[] = {s.base, s.base + 0x3C, s.base + pe::kPeAt, s.optional(),
                                     s.resourceDirectory(), s.resource(pe::kTypes), s.resource(pe::kNames),
                                     s.resource(pe::kLanguages), s.resource(pe::kDataEntry),
                                     s.resource(pe::kVersionInfo), s.resource(pe::kFixed)};
    for (int edits = in.take<std::uint8_t>() % 16; edits > 0 && in.size > 0; --edits) {
        const std::uint8_t op = in.take<std::uint8_t>();
        const std::uint64_t at = anchors[op % std::size(anchors)] + in.take<std::uint8_t>();
        if (op & 0x80) image.makeUnreadable(at, 1 + in.take<std::uint8_t>() % 16);
        else if (op & 0x40) image.putU32(at, in.take<std::uint32_t>());
        else image.putBytes(at, "\xFF\xFF", 2);  // counts and IDs at their largest
    }
    if (in.size > 0) image.putBytes(s.resource(0), in.data, in.size);
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in{data, size};
    MemoryImage image;
    const pe::Image scene = build(in, image);
    image.clearReads();
    const auto version = readClientVersion(image, scene.base);
    const std::vector<MemoryImage::Access> reads = image.reads();
    CORVANE_FUZZ_CHECK(reads.size() <= 14);
    for (const auto& read : reads) CORVANE_FUZZ_CHECK(read.size <= 512);
    CORVANE_FUZZ_CHECK(readClientVersion(image, scene.base) == version);
    if (version) {
        // One read was of the version information: its signature, then the version.
        bool found = false;
        for (const auto& read : reads) {
            std::uint8_t bytes[92];
            if (read.size != sizeof bytes || !image.read(read.address, bytes, sizeof bytes)) continue;
            std::uint32_t signature = 0, high = 0, low = 0;
            std::memcpy(&signature, bytes + 40, 4);
            std::memcpy(&high, bytes + 48, 4);
            std::memcpy(&low, bytes + 52, 4);
            found = found || (signature == 0xFEEF04BD && high == (std::uint32_t{version->major} << 16 | version->minor) &&
                              low == (std::uint32_t{version->patch} << 16 | version->build));
        }
        CORVANE_FUZZ_CHECK(found);
    }
    return 0;
}
