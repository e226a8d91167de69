#pragma once
// Typed reads over GameMemory. The value is zero whenever the read fails.

#include "game/game_memory.h"

#include <cstdint>

namespace corvane {

template <typename T>
bool readValue(GameMemory& memory, std::uint64_t address, T& value) {
    value = T{};
    if (memory.read(address, &value, sizeof value)) return true;
    value = T{};
    return false;
}

// A 32-bit game pointer, zero-extended; absent below 0x10000.
inline bool readPointer(GameMemory& memory, std::uint64_t address, std::uint64_t& pointer,
                        std::uint32_t minimum) {
    std::uint32_t raw = 0;
    const bool ok = readValue(memory, address, raw) && raw >= minimum;
    pointer = ok ? raw : 0;
    return ok;
}

}  // namespace corvane
