#pragma once
// A game address space held in memory, for tests, fuzz targets and benchmarks:
// sparse bytes, holes that refuse every read, and a log of the reads made.
// GameScene lays the client's structures out in it at their real offsets.

#include "game/game_layout.h"
#include "game/game_memory.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <unordered_map>
#include <vector>

namespace corvane {

class MemoryImage final : public GameMemory {
public:
    struct Access {
        std::uint64_t address = 0;
        std::size_t size = 0;
        friend bool operator==(const Access&, const Access&) = default;
    };

    // Bytes never put are unreadable, like unmapped memory.
    void putBytes(std::uint64_t address, const void* data, std::size_t size) {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        for (std::size_t i = 0; i < size; ++i) {
            const std::uint64_t at = address + i;
            Page& page = pages_[at / kPageSize];
            page.bytes[at % kPageSize] = bytes[i];
            page.written.set(at % kPageSize);
        }
    }
    void putU8(std::uint64_t address, std::uint8_t value) { putBytes(address, &value, 1); }
    void putU32(std::uint64_t address, std::uint32_t value) { putBytes(address, &value, 4); }
    void putU64(std::uint64_t address, std::uint64_t value) { putBytes(address, &value, 8); }
    void putFloat(std::uint64_t address, float value) { putBytes(address, &value, 4); }

    // Every later read that touches one of these bytes fails, written or not.
    void makeUnreadable(std::uint64_t address, std::size_t size) {
        if (size != 0) holes_.push_back({address, size});
    }

    // Reads are counted and logged in order, failed ones included.
    bool read(std::uint64_t address, void* out, std::size_t size) override {
        ++readCount_;
        if (logReads_) log_.push_back({address, size});
        if (!readable(address, size)) {
            // Garbage rather than zeros, so a caller that trusts a failed read shows.
            std::memset(out, 0xCD, size);
            return false;
        }
        auto* bytes = static_cast<std::uint8_t*>(out);
        for (std::size_t i = 0; i < size;) {
            const std::uint64_t at = address + i;
            const std::size_t offset = at % kPageSize;
            const std::size_t run = std::min(size - i, kPageSize - offset);
            std::memcpy(bytes + i, pages_.at(at / kPageSize).bytes.data() + offset, run);
            i += run;
        }
        return true;
    }

    std::size_t readCount() const noexcept { return readCount_; }
    const std::vector<Access>& reads() const noexcept { return log_; }
    void clearReads() noexcept {
        readCount_ = 0;
        log_.clear();
    }
    // Long runs keep counting without growing the log.
    void setReadLogging(bool on) noexcept { logReads_ = on; }

private:
    static constexpr std::size_t kPageSize = 256;
    struct Page {
        std::array<std::uint8_t, kPageSize> bytes{};
        std::bitset<kPageSize> written;
    };

    static bool overlaps(const Access& a, const Access& b) noexcept {
        // Differences rather than end addresses, which could wrap.
        return a.address >= b.address ? a.address - b.address < b.size
                                      : b.address - a.address < a.size;
    }

    bool readable(std::uint64_t address, std::size_t size) const {
        if (size == 0) return true;
        if (address > std::numeric_limits<std::uint64_t>::max() - (size - 1)) return false;
        const Access wanted{address, size};
        for (const Access& hole : holes_) {
            if (overlaps(wanted, hole)) return false;
        }
        for (std::size_t i = 0; i < size;) {
            const std::uint64_t at = address + i;
            const std::size_t offset = at % kPageSize;
            const std::size_t run = std::min(size - i, kPageSize - offset);
            const auto page = pages_.find(at / kPageSize);
            if (page == pages_.end()) return false;
            for (std::size_t j = offset; j < offset + run; ++j) {
                if (!page->second.written.test(j)) return false;
            }
            i += run;
        }
        return true;
    }

    std::unordered_map<std::uint64_t, Page> pages_;
    std::vector<Access> holes_;
    std::vector<Access> log_;
    std::size_t readCount_ = 0;
    bool logReads_ = true;
};

// One object of the client's list: its GUID and the pointer to the next one,
// with the bytes between them readable (zero), as in the client's memory.
inline void putObject(MemoryImage& image, std::uint64_t object, std::uint64_t guid,
                      std::uint32_t next) {
    std::array<std::uint8_t, layout::kNextObject + 4 - layout::kObjectGuid> head{};
    std::memcpy(head.data(), &guid, sizeof guid);
    std::memcpy(head.data() + (layout::kNextObject - layout::kObjectGuid), &next, sizeof next);
    image.putBytes(object + layout::kObjectGuid, head.data(), head.size());
}

inline void putPosition(MemoryImage& image, std::uint64_t object, float x, float y, float z,
                        float orientation) {
    image.putFloat(object + layout::kPositionX, x);
    image.putFloat(object + layout::kPositionY, y);
    image.putFloat(object + layout::kPositionZ, z);
    image.putFloat(object + layout::kOrientation, orientation);
}

// A client in the world with every pointer valid. Callers change a field
// before laying it out, or overwrite and hide bytes afterwards.
struct GameScene {
    std::uint64_t moduleBase = 0x00400000;
    std::uint8_t connectionState = 1;
    std::uint32_t clientConnection = 0x01200000;
    std::uint32_t objectManager = 0x01300000;
    std::uint64_t localGuid = 0x00000000000012A4;
    std::uint32_t mapId = 571;
    // The object list in list order; the last object's next pointer is 0 and
    // an empty list leaves the first-object pointer 0.
    std::vector<std::uint64_t> objectGuids{0xF130000000000101, localGuid, 0xF130000000000102};
    std::uint32_t objectBase = 0x10000000;
    std::uint32_t objectStride = 0x800;  // room for every field up to the orientation
    // Put on every object that carries localGuid.
    float x = -8949.95f;
    float y = -132.49f;
    float z = 83.53f;
    float orientation = 0.61f;

    std::uint32_t object(std::size_t index) const {
        return static_cast<std::uint32_t>(objectBase + index * objectStride);
    }
    std::uint64_t managerField(std::uint64_t offset) const { return objectManager + offset; }
    std::uint64_t moduleField(std::uint64_t offset) const { return moduleBase + offset; }
};

inline void layOut(MemoryImage& image, const GameScene& scene) {
    using namespace layout;
    image.putU8(scene.moduleField(kConnectionState), scene.connectionState);
    image.putU32(scene.moduleField(kClientConnection), scene.clientConnection);
    image.putU32(std::uint64_t{scene.clientConnection} + kObjectManager, scene.objectManager);
    image.putU64(scene.managerField(kLocalPlayerGuid), scene.localGuid);
    image.putU32(scene.managerField(kMapId), scene.mapId);
    const std::size_t count = scene.objectGuids.size();
    image.putU32(scene.managerField(kFirstObject), count == 0 ? 0 : scene.object(0));
    for (std::size_t i = 0; i < count; ++i) {
        putObject(image, scene.object(i), scene.objectGuids[i],
                  i + 1 < count ? scene.object(i + 1) : 0);
        if (scene.objectGuids[i] == scene.localGuid) {
            putPosition(image, scene.object(i), scene.x, scene.y, scene.z, scene.orientation);
        }
    }
}

}  // namespace corvane
