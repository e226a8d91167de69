#include "driver/poses.h"

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
    const float r = degreesToRadians(options.yaw);
    return withCamera({options.x, options.y, options.z}, {std::sin(r), 0.0f, std::cos(r)});
}

Pose orbitPose(const BridgeOptions& options, std::int64_t elapsed) noexcept {
    const float seconds = static_cast<float>(elapsed) / 1000000000.0f;
    const float angle = options.speed * seconds;  // degrees, not reduced modulo 360
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

}  // namespace corvane
