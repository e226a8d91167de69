#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

struct BridgeOptions {
    std::string identity = "CorvaneTest";
    std::string context = "CORVANE:WORLD:1";
    float x = 0.0f;
    float y = 0.0f;
    float z = 1.0f;
    float yaw = 0.0f;
    bool orbit = false;
    float radius = 8.0f;
    float speed = 25.0f;
    bool wow = false;
    float wowScale = 0.9144f;
    // Live mode only: keep running without the game, and attach again after it exits.
    bool wait = false;
    // Live mode only: the process to read instead of the first "Wow.exe"; 0 = by name.
    std::uint32_t pid = 0;
    // Whether "--identity" was given at all: the start line warns about the shared default.
    bool identityGiven = false;
    // The log file (--log), UTF-8; empty without one.
    std::string logFile = {};
    // Everything after "--": the game's command, started by the bridge and read
    // as with --wow --wait. Empty without one.
    std::vector<std::string> command = {};
    // --check: look once at the whole chain and say what is broken, changing
    // nothing; --json (only with it) gives that as one JSON object.
    bool check = false;
    bool json = false;
    // What a settings file was taken with but should hear of (an empty "log =",
    // a quote never closed): sentences with their line feeds, said as notices.
    std::vector<std::string> warnings = {};
};

struct SettingsWarning {
    int line = 0;
    std::string text;  // without a period
};

enum class ParseOutcome {
    Run,      // every argument consumed
    // "--help" or "-h": the caller prints the usage and exits with 0, or with
    // a game command after "--" runs the game alone and ends with it
    Help,
    Version,  // "--version": the same with the name and version
    Invalid,  // the caller prints the hint and exits with 2
    InvalidSettings,  // a settings file's line was named instead; the caller exits with 2
};

// Fills `options` (which already hold their defaults) from argv[1..argc-1],
// in order, stopping at the first bad argument or at a help request. Writes
// "Unknown option: ..." to `err` for an argument that is no option. A number
// must convert and be finite (NaN or infinity would reach the published
// record). "--config FILE" applies the settings file's lines at its place, so
// options after it win; what is wrong with the file goes to `err` as one line
// naming it and the line. On a rejected line `options` still name the log
// that the player gave (also past the bad argument, or in the settings file
// before its bad line), so that the error reaches it.
ParseOutcome parseCommandLine(int argc, const char* const* argv, BridgeOptions& options,
                              std::ostream& err);

// Applies the "name = value" lines of a settings file's bytes to `options`
// through the same checks as the command line's options ("wow = yes" for
// "--wow"). False at the first bad line, with its number and what is wrong in
// `error` (no period): `options` may then be partly set. An empty "log ="
// means no log; it, and a value whose opening quote is never closed, add to
// `warnings` when given.
bool applySettings(std::string_view bytes, BridgeOptions& options, int& line, std::string& error,
                   std::vector<SettingsWarning>* warnings = nullptr);

extern const char kUsageText[];
void printUsage(std::ostream& out);

// "CorvaneVoiceBridge 0.8.0\n" with this build's version.
void printVersion(std::ostream& out);

}  // namespace corvane
