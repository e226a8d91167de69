#include "game/client_version.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace corvane {
namespace {

// The layout of a Windows program image (winnt.h, "PE Format"), offsets in bytes.
constexpr std::uint16_t kDosMagic = 0x5A4D;           // "MZ"
constexpr std::uint64_t kPeHeaderOffset = 0x3C;       // e_lfanew
constexpr std::uint32_t kPeSignature = 0x00004550;    // "PE\0\0"
constexpr std::uint64_t kOptionalHeader = 24;         // after the signature and the COFF header
constexpr std::uint64_t kOptionalHeaderSize = 20;     // in the COFF header, from the signature
constexpr std::uint16_t kPe32 = 0x10B, kPe32Plus = 0x20B;
// Per format: where NumberOfRvaAndSizes and the data directories begin in the optional header.
constexpr std::uint64_t kRvaCount32 = 92, kDirectories32 = 96;
constexpr std::uint64_t kRvaCount64 = 108, kDirectories64 = 112;
constexpr std::uint32_t kResourceDirectory = 2;       // the data directory's index
constexpr std::uint64_t kDirectoryEntryBytes = 8;     // VirtualAddress, Size

constexpr std::uint64_t kResourceHeaderBytes = 16;    // IMAGE_RESOURCE_DIRECTORY
constexpr std::uint64_t kResourceEntryBytes = 8;      // IMAGE_RESOURCE_DIRECTORY_ENTRY
constexpr std::uint64_t kDataEntryBytes = 16;         // IMAGE_RESOURCE_DATA_ENTRY
constexpr std::uint32_t kSubdirectory = 0x80000000;   // in an entry's OffsetToData
constexpr std::uint32_t kNamed = 0x80000000;          // in an entry's Name
constexpr std::uint32_t kVersionType = 16;            // RT_VERSION
// Types are few (about twenty in a game client), and ID entries are sorted;
// more than this many before the version means a damaged directory.
constexpr std::uint64_t kMaxTypeEntries = 64;

// VS_VERSIONINFO: wLength, wValueLength, wType, L"VS_VERSION_INFO\0", padding to
// 4 bytes, then VS_FIXEDFILEINFO (52 bytes) with its signature first.
constexpr std::uint64_t kVersionKey = 6;
constexpr char16_t kVersionKeyText[] = u"VS_VERSION_INFO";
constexpr std::uint64_t kFixedInfo = 40;
constexpr std::uint64_t kFixedInfoBytes = 52;
constexpr std::uint32_t kFixedSignature = 0xFEEF04BD;
constexpr std::uint64_t kFileVersionMs = 8, kFileVersionLs = 12;

template <typename T>
T take(const unsigned char* bytes, std::uint64_t offset) {
    T value;
    std::memcpy(&value, bytes + offset, sizeof value);
    return value;
}

// `base` + `offset` when it does not wrap.
bool add(std::uint64_t base, std::uint64_t offset, std::uint64_t& sum) {
    if (offset > std::numeric_limits<std::uint64_t>::max() - base) return false;
    sum = base + offset;
    return true;
}

template <typename T>
bool readAt(GameMemory& memory, std::uint64_t base, std::uint64_t offset, T& value) {
    std::uint64_t address = 0;
    return add(base, offset, address) && memory.read(address, &value, sizeof value);
}

// The resource section: every offset in it is from its start and must stay within its size.
struct Resources {
    GameMemory& memory;
    std::uint64_t start;
    std::uint64_t size;

    bool fits(std::uint64_t offset, std::uint64_t bytes) const {
        return offset <= size && bytes <= size - offset;
    }
    bool read(std::uint64_t offset, void* out, std::uint64_t bytes) const {
        std::uint64_t address = 0;
        return fits(offset, bytes) && add(start, offset, address) &&
               memory.read(address, out, static_cast<std::size_t>(bytes));
    }

    // The OffsetToData of the first entry of the directory at `offset` whose
    // ID is `id` (any entry, named or not, when `id` is 0); false when none.
    bool entry(std::uint64_t offset, std::uint32_t id, std::uint32_t& target) const {
        unsigned char header[kResourceHeaderBytes];
        if (!read(offset, header, sizeof header)) return false;
        const std::uint64_t named = take<std::uint16_t>(header, 12);
        const std::uint64_t ids = take<std::uint16_t>(header, 14);
        // Named entries come first; an ID is looked for only among the ID entries.
        const std::uint64_t first = id == 0 ? 0 : named;
        const std::uint64_t count = std::min<std::uint64_t>(id == 0 ? 1 : ids, kMaxTypeEntries);
        if (count == 0 || (id == 0 && named + ids == 0)) return false;
        std::array<unsigned char, kMaxTypeEntries * kResourceEntryBytes> entries{};
        if (!read(offset + kResourceHeaderBytes + first * kResourceEntryBytes, entries.data(),
                  count * kResourceEntryBytes)) {
            return false;
        }
        for (std::uint64_t i = 0; i < count; ++i) {
            const auto name = take<std::uint32_t>(entries.data(), i * kResourceEntryBytes);
            if (id == 0 || ((name & kNamed) == 0 && (name & 0xFFFF) == id)) {
                target = take<std::uint32_t>(entries.data(), i * kResourceEntryBytes + 4);
                return true;
            }
        }
        return false;
    }
};

// Where the resource section lies, from the PE headers at `base`.
bool findResources(GameMemory& memory, std::uint64_t base, std::uint64_t& rva, std::uint64_t& size) {
    std::uint16_t dosMagic = 0;
    std::uint32_t peOffset = 0;
    if (!readAt(memory, base, 0, dosMagic) || dosMagic != kDosMagic ||
        !readAt(memory, base, kPeHeaderOffset, peOffset)) {
        return false;
    }
    std::uint64_t pe = 0;
    unsigned char header[kOptionalHeader + 2];  // the signature, COFF header and Magic
    if (!add(base, peOffset, pe) || !memory.read(pe, header, sizeof header) ||
        take<std::uint32_t>(header, 0) != kPeSignature) {
        return false;
    }
    const std::uint16_t optionalSize = take<std::uint16_t>(header, kOptionalHeaderSize);
    const std::uint16_t magic = take<std::uint16_t>(header, kOptionalHeader);
    if (magic != kPe32 && magic != kPe32Plus) return false;
    const std::uint64_t countAt = magic == kPe32 ? kRvaCount32 : kRvaCount64;
    const std::uint64_t directoryAt = (magic == kPe32 ? kDirectories32 : kDirectories64) +
                                      kResourceDirectory * kDirectoryEntryBytes;
    std::uint32_t count = 0;
    std::uint32_t directory[2] = {};
    if (optionalSize < directoryAt + kDirectoryEntryBytes ||
        !readAt(memory, pe, kOptionalHeader + countAt, count) || count <= kResourceDirectory ||
        !readAt(memory, pe, kOptionalHeader + directoryAt, directory)) {
        return false;
    }
    rva = directory[0];
    size = directory[1];
    return rva != 0 && size >= kResourceHeaderBytes;
}

}  // namespace

std::optional<ClientVersion> readClientVersion(GameMemory& memory, std::uint64_t base) {
    std::uint64_t rva = 0, size = 0, start = 0;
    if (!findResources(memory, base, rva, size) || !add(base, rva, start)) return std::nullopt;
    const Resources resources{memory, start, size};
    // Type, then name (the first), then language (the first): three levels.
    std::uint32_t names = 0, languages = 0, leaf = 0;
    if (!resources.entry(0, kVersionType, names) || (names & kSubdirectory) == 0 ||
        !resources.entry(names & ~kSubdirectory, 0, languages) || (languages & kSubdirectory) == 0 ||
        !resources.entry(languages & ~kSubdirectory, 0, leaf) || (leaf & kSubdirectory) != 0) {
        return std::nullopt;
    }
    std::uint32_t data[kDataEntryBytes / 4] = {};  // the version's RVA and size, code page, reserved
    if (!resources.read(leaf, data, sizeof data) || data[1] < kFixedInfo + kFixedInfoBytes) {
        return std::nullopt;
    }
    unsigned char info[kFixedInfo + kFixedInfoBytes];
    if (!readAt(memory, base, data[0], info) ||
        take<std::uint16_t>(info, 0) < sizeof info || take<std::uint16_t>(info, 2) < kFixedInfoBytes ||
        std::memcmp(info + kVersionKey, kVersionKeyText, sizeof kVersionKeyText) != 0 ||
        take<std::uint32_t>(info, kFixedInfo) != kFixedSignature) {
        return std::nullopt;
    }
    const auto high = take<std::uint32_t>(info, kFixedInfo + kFileVersionMs);
    const auto low = take<std::uint32_t>(info, kFixedInfo + kFileVersionLs);
    return ClientVersion{static_cast<std::uint16_t>(high >> 16), static_cast<std::uint16_t>(high),
                         static_cast<std::uint16_t>(low >> 16), static_cast<std::uint16_t>(low)};
}

std::string versionText(const ClientVersion& v) {
    return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.patch) +
           "." + std::to_string(v.build);
}

}  // namespace corvane
