#pragma once

namespace corvane {

// The whole program: parses the command line, opens the link, attaches to the
// game in live mode and publishes one frame per cycle until a stop signal.
// Returns the exit code: 0 after a stop signal or the help text, 1 when
// another bridge publishes to the link, the link or the game cannot be opened
// or is another build (the game is waited for with --wait) or a publish
// fails, 2 for a rejected line; with a game command, the command's own,
// whatever else failed.
int runBridge(int argc, const char* const* argv);

}  // namespace corvane
