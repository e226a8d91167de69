#include "driver/options.h"

#include "common/version.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ostream>

namespace corvane {

const char kUsageText[] =
    "CorvaneVoiceBridge v0.6 - Online + Map Isolation Fix\n\n"
    "LIVE WOW MODE:\n"
    "  CorvaneVoiceBridge --wow --identity Oruli --context CORVANE:WORLD:1\n\n"
    "Options:\n"
    "  --wow                 Read local character state from WoW 3.3.5a build 12340\n"
    "  --wow-scale NUMBER    Scale WoW world units to meters (default 0.9144)\n"
    "  --identity NAME       Unique voice identity\n"
    "  --context VALUE       SAME base context for every CORVANE player\n"
    "  --x/--y/--z NUMBER    Synthetic test position\n"
    "  --yaw DEGREES         Synthetic test facing\n"
    "  --orbit               Synthetic orbit test\n"
    "  --radius NUMBER       Orbit radius\n"
    "  --speed NUMBER        Orbit speed in degrees/sec\n"
    "  --wait                Wait for Wow.exe to start, and again after it exits\n"
    "  --pid N               Read the game process with this ID instead of Wow.exe\n"
    "  --version             Print the program name and version\n"
    "  -- GAME COMMAND       Start the game with this command, read it, end with it\n";

void printUsage(std::ostream& out) {
    out << kUsageText;
    out.flush();
}

void printVersion(std::ostream& out) {
    out << "CorvaneVoiceBridge " << kProgramVersion << "\n";
    out.flush();
}

bool parseFloatArgument(int& position, int argc, const char* const* argv, float& field) {
    if (position + 1 >= argc) return false;
    ++position;
    const char* text = argv[position];
    if (text == nullptr) return false;
    char* end = nullptr;
    errno = 0;
    const float value = std::strtof(text, &end);
    if (end == text) return false;
    if (errno == ERANGE) return false;
    if (!std::isfinite(value)) return false;
    field = value;
    return true;
}

namespace {

bool takeString(int& position, int argc, const char* const* argv, std::string& field) {
    if (position + 1 >= argc || argv[position + 1] == nullptr) return false;
    ++position;
    field = argv[position];
    return true;
}

// A process ID: decimal digits only, 1 to 4294967295.
bool takeProcessId(int& position, int argc, const char* const* argv, std::uint32_t& field) {
    if (position + 1 >= argc || argv[position + 1] == nullptr) return false;
    ++position;
    const char* text = argv[position];
    std::uint64_t value = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + static_cast<std::uint64_t>(*p - '0');
        if (value > 0xFFFFFFFFu) return false;
    }
    if (value == 0) return false;
    field = static_cast<std::uint32_t>(value);
    return true;
}

// Everything after "--" at `position`, unchanged, as the game's command.
bool takeCommand(int position, int argc, const char* const* argv, BridgeOptions& options) {
    if (position + 1 >= argc) return false;
    for (int i = position + 1; i < argc; ++i) {
        if (argv[i] == nullptr) return false;
        options.command.emplace_back(argv[i]);
    }
    options.wow = options.wait = true;
    return true;
}

}  // namespace

ParseOutcome parseCommandLine(int argc, const char* const* argv, BridgeOptions& options,
                              std::ostream& err) {
    for (int position = 1; position < argc; ++position) {
        const char* arg = argv[position];
        if (arg == nullptr) return ParseOutcome::Invalid;
        const auto is = [arg](const char* name) { return std::strcmp(arg, name) == 0; };
        bool ok = true;
        if (is("--help") || is("-h")) {
            return ParseOutcome::Help;
        } else if (is("--version")) {
            return ParseOutcome::Version;
        } else if (is("--wow")) {
            options.wow = true;
        } else if (is("--wow-scale")) {
            ok = parseFloatArgument(position, argc, argv, options.wowScale);
        } else if (is("--identity")) {
            ok = takeString(position, argc, argv, options.identity);
            options.identityGiven = options.identityGiven || ok;
        } else if (is("--context")) {
            ok = takeString(position, argc, argv, options.context);
        } else if (is("--x")) {
            ok = parseFloatArgument(position, argc, argv, options.x);
        } else if (is("--y")) {
            ok = parseFloatArgument(position, argc, argv, options.y);
        } else if (is("--z")) {
            ok = parseFloatArgument(position, argc, argv, options.z);
        } else if (is("--yaw")) {
            ok = parseFloatArgument(position, argc, argv, options.yaw);
        } else if (is("--orbit")) {
            options.orbit = true;
        } else if (is("--radius")) {
            ok = parseFloatArgument(position, argc, argv, options.radius);
        } else if (is("--speed")) {
            ok = parseFloatArgument(position, argc, argv, options.speed);
        } else if (is("--wait")) {
            options.wait = true;
        } else if (is("--pid")) {
            ok = takeProcessId(position, argc, argv, options.pid);
        } else if (is("--")) {
            return takeCommand(position, argc, argv, options) ? ParseOutcome::Run
                                                              : ParseOutcome::Invalid;
        } else {
            err << "Unknown option: " << arg << "\n";
            return ParseOutcome::Invalid;
        }
        if (!ok) return ParseOutcome::Invalid;
    }
    return ParseOutcome::Run;
}

}  // namespace corvane
