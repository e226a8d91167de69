#pragma once
// Every pose here is a pure function of its inputs. Arithmetic is in 32-bit
// floats (the orbit's angle in doubles), so results are the same on every
// build; angles are reduced within a turn first, so every value is finite.

#include "cli/options.h"
#include "game/character_snapshot.h"
#include "link/pose.h"

#include <cstdint>
#include <string_view>

namespace corvane {

inline constexpr float kPi = 3.1415927f;

// (degrees * pi) / 180 in 32-bit floats.
float degreesToRadians(float degrees) noexcept;

// Standing at (x, y, z) facing `yaw` degrees (0 faces +z, 90 faces +x); any
// yaw counts within a turn.
Pose staticPose(const BridgeOptions& options) noexcept;

// Circling the vertical axis at height y, facing its centre; `elapsed` is
// nanoseconds since the run began.
Pose orbitPose(const BridgeOptions& options, std::int64_t elapsed) noexcept;

// 64-bit FNV-1a of the bytes.
std::uint64_t fnv1a64(std::string_view bytes) noexcept;

// A far-away point of the identity's own, on a 1024 x 1024 grid 1000 m apart
// with its corner at (50,000,000, 0, 50,000,000).
Pose isolationPose(std::string_view identity) noexcept;

// The character where it stands: game units scaled to metres, the game's
// height as the link's up axis, and each map in a region 250,000 m apart.
Pose livePose(const CharacterSnapshot& snapshot, float scale) noexcept;

// Whether all eighteen floats are finite, as the voice client needs them.
bool isFinitePose(const Pose& pose) noexcept;

}  // namespace corvane
