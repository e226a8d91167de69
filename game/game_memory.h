#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// Read access to the game's address space. The attached process implements it
// through GameReader; tests implement it over an in-memory image.
class GameMemory {
public:
    virtual ~GameMemory() = default;
    // Reads exactly `size` bytes at `address`; false if any byte is unreadable.
    virtual bool read(std::uint64_t address, void* out, std::size_t size) = 0;
};

}  // namespace corvane
