#include "game/client_version.h"

#include "tests/support/pe_image.h"

#include <gtest/gtest.h>

#include <optional>

namespace corvane {
namespace {

using pe::Image;
using Edit = void (*)(Image&, MemoryImage&);
using pe::kDir;

// Every way an image can fail to tell its version gives none, after a
// handful of reads, whatever its counts and offsets claim.
TEST(ClientVersion, FromTheVersionResourceOrNone) {
    const std::optional<ClientVersion> none;
    const struct { const char* what; Edit edit; std::optional<ClientVersion> version; } rows[] = {
        {"3.3.5a, PE32", [](Image&, MemoryImage&) {}, ClientVersion{3, 3, 5, 12340}},
        {"4.3.4.15595, PE32+", [](Image& s, MemoryImage& m) { s.plus = true; s.version[0] = 4; s.version[1] = 3; s.version[2] = 4; s.version[3] = 15595; pe::layOut(m, s); }, ClientVersion{4, 3, 4, 15595}},
        {"an ELF image", [](Image& s, MemoryImage& m) { m.putBytes(s.base, "\x7F" "ELF", 4); }, none},
        {"PE header past the image", [](Image& s, MemoryImage& m) { m.putU32(s.base + 0x3C, 0xFFFFFFF0); }, none},
        {"no PE signature", [](Image& s, MemoryImage& m) { m.putBytes(s.base + pe::kPeAt, "PX\0\0", 4); }, none},
        {"unknown optional header", [](Image& s, MemoryImage& m) { m.putBytes(s.optional(), "\x07\x01", 2); }, none},
        {"two data directories", [](Image& s, MemoryImage& m) { m.putU32(s.optional() + 92, 2); }, none},
        {"no resources", [](Image& s, MemoryImage& m) { m.putU32(s.resourceDirectory(), 0); }, none},
        {"no version type", [](Image& s, MemoryImage& m) { pe::putEntry(m, s.resource(pe::kTypes + 32), 14, kDir | pe::kNames); }, none},
        {"no language", [](Image& s, MemoryImage& m) { pe::putDirectory(m, s.resource(pe::kNames), 0, 0); }, none},
        {"language is a directory", [](Image& s, MemoryImage& m) { pe::putEntry(m, s.resource(pe::kLanguages + 16), 0x409, kDir | pe::kTypes); }, none},
        {"names past the section", [](Image& s, MemoryImage& m) { pe::putEntry(m, s.resource(pe::kTypes + 32), 16, kDir | pe::kResourceSize); }, none},
        {"data entry across the section's end", [](Image& s, MemoryImage& m) { m.putU32(s.resourceDirectory() + 4, pe::kDataEntry + 12); }, none},
        {"65535 types, none the version", [](Image& s, MemoryImage& m) { pe::putDirectory(m, s.resource(pe::kTypes), 65535, 65535); m.putU32(s.resourceDirectory() + 4, 0xFFFFFFFF); }, none},
        {"version data too short", [](Image& s, MemoryImage& m) { m.putU32(s.resource(pe::kDataEntry + 4), 91); }, none},
        {"version data unreadable", [](Image& s, MemoryImage& m) { m.makeUnreadable(s.resource(pe::kFixed + 12), 1); }, none},
        {"another key", [](Image& s, MemoryImage& m) { m.putBytes(s.resource(pe::kVersionInfo + 6), u"VS_VERSION_INFX", 30); }, none},
        {"wrong signature", [](Image& s, MemoryImage& m) { m.putU32(s.resource(pe::kFixed), 0xFEEF04BE); }, none},
        {"image at the top of the address space", [](Image& s, MemoryImage& m) { s.base = 0xFFFFFFFFFFFFF000; pe::layOut(m, s); }, none},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Image scene;
        MemoryImage image;
        pe::layOut(image, scene);
        row.edit(scene, image);
        image.clearReads();
        EXPECT_EQ(readClientVersion(image, scene.base), row.version);
        EXPECT_LE(image.readCount(), 14u);
        for (const auto& read : image.reads()) EXPECT_LE(read.size, 512u);
    }
    EXPECT_EQ(versionText({3, 3, 5, 12340}), "3.3.5.12340");
}

}  // namespace
}  // namespace corvane
