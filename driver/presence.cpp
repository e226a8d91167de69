#include "driver/presence.h"

#include "driver/poses.h"

namespace corvane {

PresenceOutcome PresenceTracker::step(ReadStatus status, const CharacterSnapshot& snapshot,
                                      const std::string& readerError, const BridgeOptions& options) {
    PresenceOutcome outcome;
    outcome.pose = isolation_;
    switch (status) {
    case ReadStatus::InWorld:
        if (inWorldCount_ < kInWorldReadsToPlace) ++inWorldCount_;
        if (inWorldCount_ >= kInWorldReadsToPlace) {
            const Pose placed = livePose(snapshot, options.wowScale);
            if (isFinitePose(placed)) {
                outcome.pose = placed;
                outcome.isolated = false;
            } else {
                outcome.label = kLabelScaledTooFar;
            }
        } else {
            outcome.label = kLabelEnteringWorld;
        }
        break;
    case ReadStatus::NotInWorld:
        inWorldCount_ = 0;
        break;
    case ReadStatus::ReadError:
        inWorldCount_ = 0;
        if (!readerError.empty()) outcome.label = readerError;
        break;
    }
    return outcome;
}

}  // namespace corvane
