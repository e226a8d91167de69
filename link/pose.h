#pragma once

namespace corvane {

// Link coordinates: y is up, units are metres.
struct Vec3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    friend bool operator==(const Vec3&, const Vec3&) = default;
};

// Eighteen floats in the order the link record stores them.
struct Pose {
    Vec3 avatarPosition;
    Vec3 avatarFront;
    Vec3 avatarTop;
    Vec3 cameraPosition;
    Vec3 cameraFront;
    Vec3 cameraTop;
    friend bool operator==(const Pose&, const Pose&) = default;
};
static_assert(sizeof(Pose) == 18 * sizeof(float));

}  // namespace corvane
