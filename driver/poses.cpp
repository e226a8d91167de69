#include "driver/poses.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>

namespace corvane {
namespace {

constexpr Vec3 kUp{0.0f, 1.0f, 0.0f};
constexpr float kRegionSize = 250000.0f;
constexpr float kIsolationSpacing = 1000.0f;
constexpr float kIsolationBase = 50000000.0f;

// The camera always equals the avatar.
Pose withCamera(Vec3 position, Vec3 front) noexcept {
    return Pose{position, front, kUp, position, front, kUp};
}

}  // namespace

float degreesToRadians(float degrees) noexcept { return (degrees * kPi) / 180.0f; }

Pose staticPose(const BridgeOptions& options) noexcept {
    // Reduced first: a large yaw times pi overflows (2e38 gave a NaN front).
    const float r = degreesToRadians(std::fmod(options.yaw, 360.0f));
    return withCamera({options.x, options.y, options.z}, {std::sin(r), 0.0f, std::cos(r)});
}

Pose orbitPose(const BridgeOptions& options, std::int64_t elapsed) noexcept {
    // Degrees within a turn, reduced exactly in doubles: a fast orbit would
    // overflow a float within a second, and a long run lose the angle's digits.
    const double turned = static_cast<double>(options.speed) * (static_cast<double>(elapsed) / 1e9);
    const auto angle = static_cast<float>(std::fmod(turned, 360.0));
    const float r = degreesToRadians(angle);
    const float facing = degreesToRadians(angle + 180.0f);
    return withCamera({options.radius * std::sin(r), options.y, options.radius * std::cos(r)},
                      {std::sin(facing), 0.0f, std::cos(facing)});
}

std::uint64_t fnv1a64(std::string_view bytes) noexcept {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ull;
    }
    return hash;
}

Pose isolationPose(std::string_view identity) noexcept {
    const std::uint64_t hash = fnv1a64(identity);
    const auto ix = static_cast<float>(hash & 1023u);
    const auto iz = static_cast<float>((hash >> 10) & 1023u);
    return withCamera({ix * kIsolationSpacing + kIsolationBase, 0.0f, iz * kIsolationSpacing + kIsolationBase},
                      {0.0f, 0.0f, 1.0f});
}

Pose livePose(const CharacterSnapshot& snapshot, float scale) noexcept {
    const auto column = static_cast<float>(snapshot.mapId & 31u);
    const auto row = static_cast<float>(snapshot.mapId >> 5);
    // Each product is rounded to a float before the sum, as the record expects.
    const float scaledX = scale * snapshot.x;
    const float scaledY = scale * snapshot.y;
    const float scaledZ = scale * snapshot.z;
    const Vec3 position{column * kRegionSize + scaledX, scaledZ, row * kRegionSize + scaledY};
    return withCamera(position, {std::cos(snapshot.orientation), 0.0f, std::sin(snapshot.orientation)});
}

bool isFinitePose(const Pose& pose) noexcept {
    const auto floats = std::bit_cast<std::array<float, 18>>(pose);
    return std::all_of(floats.begin(), floats.end(), [](float f) { return std::isfinite(f); });
}

}  // namespace corvane
