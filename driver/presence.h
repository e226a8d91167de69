#pragma once
// Decides each live cycle whether the character is placed where it stands or
// kept at its isolation position.

#include "cli/options.h"
#include "game/character_snapshot.h"
#include "link/pose.h"

#include <cstdint>
#include <string>

namespace corvane {

inline constexpr char kLabelNotInWorld[] = "not in world";
inline constexpr char kLabelEnteringWorld[] = "entering world";
// A --wow-scale so large that a position overflows: never published.
inline constexpr char kLabelScaledTooFar[] = "The position scaled by --wow-scale is too large.";
// Consecutive in-world reads before the character is placed.
inline constexpr std::int32_t kInWorldReadsToPlace = 5;

struct PresenceOutcome {
    Pose pose;
    std::string label = kLabelNotInWorld;
    bool isolated = true;
};

class PresenceTracker {
public:
    explicit PresenceTracker(const Pose& isolation) : isolation_(isolation) {}

    // One live cycle: counts consecutive in-world reads and picks the pose.
    PresenceOutcome step(ReadStatus status, const CharacterSnapshot& snapshot,
                         const std::string& readerError, const BridgeOptions& options);

    std::int32_t inWorldCount() const noexcept { return inWorldCount_; }

private:
    Pose isolation_;
    // Stops at the threshold: nothing needs more, and it cannot overflow in a long session.
    std::int32_t inWorldCount_ = 0;
};

}  // namespace corvane
