#pragma once
// A Windows program image's headers and version resource laid out in a
// MemoryImage, written from the documented layout (winnt.h, "PE Format") apart
// from the reader's own table, so that a wrong offset in the product shows.

#include "game/memory_image.h"

#include <cstdint>

namespace corvane::pe {

// From the image base: the PE header (e_lfanew), the optional header after
// it, and the resource section's RVA. In the resource section: the types
// (one named, RT_ICON 3, RT_VERSION 16), an empty directory, the version's
// names, its languages, its data entry, VS_VERSIONINFO and its fixed part.
inline constexpr std::uint64_t kPeAt = 0x80, kOptional = kPeAt + 24, kResources = 0x2000;
inline constexpr std::uint64_t kTypes = 0x00, kEmpty = 0x28, kNames = 0x38, kLanguages = 0x50,
                               kDataEntry = 0x68, kVersionInfo = 0x80, kFixed = kVersionInfo + 40;
inline constexpr std::uint32_t kResourceSize = kVersionInfo + 92, kDir = 0x80000000;

struct Image {
    std::uint64_t base = 0x400000;
    bool plus = false;  // PE32+ (a 64-bit program) rather than PE32
    std::uint16_t version[4] = {3, 3, 5, 12340};
    std::uint64_t optional() const { return base + kOptional; }
    // Where the resource data directory's RVA and size lie.
    std::uint64_t resourceDirectory() const { return optional() + (plus ? 112 : 96) + 2 * 8; }
    std::uint64_t resource(std::uint64_t offset) const { return base + kResources + offset; }
};

inline void putDirectory(MemoryImage& m, std::uint64_t at, std::uint16_t named, std::uint16_t ids) {
    const std::uint16_t header[8] = {0, 0, 0, 0, 0, 0, named, ids};  // then characteristics, time, version
    m.putBytes(at, header, sizeof header);
}
inline void putEntry(MemoryImage& m, std::uint64_t at, std::uint32_t name, std::uint32_t offset) {
    m.putU32(at, name);
    m.putU32(at + 4, offset);
}

inline void layOut(MemoryImage& m, const Image& s) {
    for (std::uint64_t at = 0; at < 0x200; at += 4) m.putU32(s.base + at, 0);
    m.putBytes(s.base, "MZ", 2);
    m.putU32(s.base + 0x3C, kPeAt);
    m.putBytes(s.base + kPeAt, "PE\0\0", 4);
    const std::uint16_t optionalSize = s.plus ? 240 : 224, magic = s.plus ? 0x20B : 0x10B;
    m.putBytes(s.base + kPeAt + 20, &optionalSize, 2);
    m.putBytes(s.optional(), &magic, 2);
    m.putU32(s.optional() + (s.plus ? 108 : 92), 16);  // NumberOfRvaAndSizes
    m.putU32(s.resourceDirectory(), kResources);
    m.putU32(s.resourceDirectory() + 4, kResourceSize);

    putDirectory(m, s.resource(kTypes), 1, 2);
    putEntry(m, s.resource(kTypes + 16), kDir | 0x1F0, kDir | kEmpty);  // a named type
    putEntry(m, s.resource(kTypes + 24), 3, kDir | kEmpty);
    putEntry(m, s.resource(kTypes + 32), 16, kDir | kNames);
    putDirectory(m, s.resource(kEmpty), 0, 0);
    putDirectory(m, s.resource(kNames), 0, 1);
    putEntry(m, s.resource(kNames + 16), 1, kDir | kLanguages);
    putDirectory(m, s.resource(kLanguages), 0, 1);
    putEntry(m, s.resource(kLanguages + 16), 0x409, kDataEntry);
    const std::uint32_t data[4] = {static_cast<std::uint32_t>(kResources + kVersionInfo), 92, 0, 0};
    m.putBytes(s.resource(kDataEntry), data, sizeof data);
    // wLength, wValueLength, wType, the key and its padding, the fixed part.
    const std::uint16_t head[3] = {92, 52, 0};
    m.putBytes(s.resource(kVersionInfo), head, sizeof head);
    m.putBytes(s.resource(kVersionInfo + 6), u"VS_VERSION_INFO\0", 34);
    const std::uint32_t fixed[13] = {0xFEEF04BD, 0x10000, std::uint32_t{s.version[0]} << 16 | s.version[1],
                                     std::uint32_t{s.version[2]} << 16 | s.version[3]};
    m.putBytes(s.resource(kFixed), fixed, sizeof fixed);
}

}  // namespace corvane::pe
