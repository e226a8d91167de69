#include "game/character_snapshot.h"

#include <cstdint>
#include <cstring>

namespace corvane {

const char* toString(ReadStatus status) noexcept {
    switch (status) {
    case ReadStatus::InWorld:
        return "InWorld";
    case ReadStatus::NotInWorld:
        return "NotInWorld";
    case ReadStatus::ReadError:
        return "ReadError";
    }
    return "?";
}

bool isFiniteFloat(float value) noexcept {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return (bits & 0x7F800000u) != 0x7F800000u;
}

bool isPlausibleCoordinate(float value) noexcept {
    return isFiniteFloat(value) && value < 100000.0f && value > -100000.0f;
}

}  // namespace corvane
