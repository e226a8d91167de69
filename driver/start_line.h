#pragma once
// The line a player sees on standard error when the bridge starts, so a run
// in the wrong mode or with the shared default identity does not go unnoticed.

#include "driver/options.h"

#include <string>

namespace corvane {

// The mode, the identity and the context, and how to stop; in live mode
// without "--identity" a second line about the shared default identity. Each
// line ends with a line feed.
std::string formatStartLine(const BridgeOptions& options);

}  // namespace corvane
