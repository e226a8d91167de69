#pragma once
// The line a player sees on standard error when the bridge starts, so a run
// in the wrong mode or with the shared default identity does not go unnoticed.

#include "cli/options.h"

#include <string>

namespace corvane {

// The name the example settings ship with, for the player to replace.
inline constexpr char kPlaceholderIdentity[] = "YourCharacterName";

// The mode, the identity and the context, and how to stop; a second line when
// the identity is not a player's own: in live mode without "--identity" (the
// shared default), empty, the placeholder, or "CorvaneTest" in live mode. Each
// line ends with a line feed.
std::string formatStartLine(const BridgeOptions& options);

}  // namespace corvane
