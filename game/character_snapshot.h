#pragma once

#include <cstdint>

namespace corvane {

// One cycle's reading of the local character.
struct CharacterSnapshot {
    float x = 0.0f;            // game units
    float y = 0.0f;
    float z = 0.0f;            // height
    float orientation = 0.0f;  // radians
    std::uint64_t guid = 0;
    std::uint32_t mapId = 0;
    std::uint8_t connectionState = 0;
    std::uint64_t playerObject = 0;
    std::uint64_t objectManager = 0;
    friend bool operator==(const CharacterSnapshot&, const CharacterSnapshot&) = default;
};

enum class ReadStatus : int {
    InWorld = 0,
    NotInWorld = 1,
    ReadError = 2,
};

const char* toString(ReadStatus status) noexcept;

// Finite and of magnitude below 100000.
bool isPlausibleCoordinate(float value) noexcept;
// Neither infinite nor NaN.
bool isFiniteFloat(float value) noexcept;

}  // namespace corvane
