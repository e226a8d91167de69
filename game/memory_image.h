#pragma once
// A game address space held in memory, for tests, fuzz targets and benchmarks:
// sparse bytes, holes that refuse every read, and a log of the reads made.

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

}  // namespace corvane
