#include "cli/options.h"

#include "common/version.h"
#include "cli/settings_file.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
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
    "  -- GAME COMMAND       Start the game with this command, read it, end with it\n"
    "  --config FILE         Read options from FILE, one name = value per line:\n"
    "                        names in any case, a value in \"quotes\" or not, and a\n"
    "                        # or ; after a blank begins a note; UTF-8 or UTF-16\n"
    "  --log FILE            Append the start line, notices, errors and status changes to FILE\n"
    "  --check               Look once at the game, the bridge, the link and the voice\n"
    "                        client, say which link is broken and how to mend it, and exit\n"
    "  --json                With --check: the report as one JSON object\n";

void printUsage(std::ostream& out) {
    out << kUsageText;
    out.flush();
}

void printVersion(std::ostream& out) {
    out << "CorvaneVoiceBridge " << kProgramVersion << "\n";
    out.flush();
}

namespace {

// strtof's whole syntax in the "C" locale; whatever follows the number is
// ignored. Not finite (NaN, infinity) or out of float range is refused.
bool convertFloat(const char* text, float& field) {
    char* end = nullptr;
    errno = 0;
    const float value = std::strtof(text, &end);
    if (end == text) return false;
    if (errno == ERANGE) return false;
    if (!std::isfinite(value)) return false;
    field = value;
    return true;
}

// A process ID: decimal digits only, 1 to 4294967295.
bool convertProcessId(const char* text, std::uint32_t& field) {
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

// A flag on the command line (no value) switches on; in a settings file it
// takes yes or no.
bool setFlag(const char* value, bool& field) {
    if (value == nullptr || std::strcmp(value, "yes") == 0) {
        field = true;
    } else if (std::strcmp(value, "no") == 0) {
        field = false;
    } else {
        return false;
    }
    return true;
}

// Every option that sets a field, for both sources: "--name" and its next
// argument on the command line, "name = value" in a settings file.
struct OptionSpec {
    const char* name;
    bool isFlag;
    bool (*set)(const char* value, BridgeOptions& o);  // false: the value is refused
};

constexpr OptionSpec kOptions[] = {
    {"wow", true, [](const char* v, BridgeOptions& o) { return setFlag(v, o.wow); }},
    {"wow-scale", false, [](const char* v, BridgeOptions& o) { return convertFloat(v, o.wowScale); }},
    {"identity", false,
     [](const char* v, BridgeOptions& o) {
         o.identity = v;
         o.identityGiven = true;
         return true;
     }},
    {"context", false,
     [](const char* v, BridgeOptions& o) {
         o.context = v;
         return true;
     }},
    {"x", false, [](const char* v, BridgeOptions& o) { return convertFloat(v, o.x); }},
    {"y", false, [](const char* v, BridgeOptions& o) { return convertFloat(v, o.y); }},
    {"z", false, [](const char* v, BridgeOptions& o) { return convertFloat(v, o.z); }},
    {"yaw", false, [](const char* v, BridgeOptions& o) { return convertFloat(v, o.yaw); }},
    {"orbit", true, [](const char* v, BridgeOptions& o) { return setFlag(v, o.orbit); }},
    {"radius", false, [](const char* v, BridgeOptions& o) { return convertFloat(v, o.radius); }},
    {"speed", false, [](const char* v, BridgeOptions& o) { return convertFloat(v, o.speed); }},
    {"wait", true, [](const char* v, BridgeOptions& o) { return setFlag(v, o.wait); }},
    {"pid", false, [](const char* v, BridgeOptions& o) { return convertProcessId(v, o.pid); }},
    {"log", false,
     [](const char* v, BridgeOptions& o) {
         o.logFile = v;
         return !o.logFile.empty();
     }},
};

const OptionSpec* findOption(std::string_view name) {
    for (const OptionSpec& option : kOptions) {
        if (name == option.name) return &option;
    }
    return nullptr;
}

// The first problem of a settings file's line, or nothing when it is applied.
std::string applySetting(const Setting& setting, BridgeOptions& options) {
    if (setting.name == "config") return "\"config\" cannot be used inside a settings file";
    const OptionSpec* option = findOption(setting.name);
    if (option == nullptr) return "unknown setting \"" + setting.name + "\"";
    if (setting.name == "log" && setting.value.empty()) {  // no log, as without the line
        options.logFile.clear();
        return {};
    }
    if (option->set(setting.value.c_str(), options)) return {};
    return "\"" + setting.value + "\" is not a valid value for " + setting.name +
           (option->isFlag ? ": write yes or no" : "");
}

// A relative path in a settings file names a file beside it, wherever the
// bridge was started from (a launcher starts it in the game's folder).
std::string besideSettingsFile(const std::string& settingsPath, const std::string& path) {
    namespace fs = std::filesystem;
    const auto fromUtf8 = [](const std::string& text) {
        return fs::path(std::u8string(text.begin(), text.end()));
    };
    const fs::path written = fromUtf8(path);
    if (written.has_root_path()) return path;  // "/x", "C:\\x", also "\\x" and "C:x" as written
    const std::u8string joined = (fromUtf8(settingsPath).parent_path() / written).u8string();
    return std::string(joined.begin(), joined.end());
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

bool applySettings(std::string_view bytes, BridgeOptions& options, int& line, std::string& error,
                   std::vector<SettingsWarning>* warnings) {
    const SettingsText text = decodeSettingsText(bytes);
    for (const Setting& setting : text.settings) {
        error = applySetting(setting, options);
        if (!error.empty()) {
            line = setting.line;
            return false;
        }
        if (warnings == nullptr) continue;
        if (setting.unclosedQuote) {
            warnings->push_back({setting.line, "the quote before the value of \"" + setting.name +
                                                   "\" is never closed, so it was taken as written"});
        }
        if (setting.name == "log" && setting.value.empty()) {
            warnings->push_back({setting.line, "\"log\" is empty, so the bridge keeps no log"});
        }
    }
    line = text.errorLine;
    error = text.error;
    return error.empty();
}

namespace {

// The options up to "--" or the first bad one, whose position `position` is left at.
ParseOutcome parseOptions(int argc, const char* const* argv, BridgeOptions& options,
                          std::ostream& err, int& position) {
    for (position = 1; position < argc; ++position) {
        if (argv[position] == nullptr) return ParseOutcome::Invalid;
        const std::string_view arg = argv[position];
        if (arg == "--help" || arg == "-h") return ParseOutcome::Help;
        if (arg == "--version") return ParseOutcome::Version;
        if (arg == "--") {
            return takeCommand(position, argc, argv, options) ? ParseOutcome::Run
                                                              : ParseOutcome::Invalid;
        }
        // A "--" followed by words starts the game's command even here: the
        // option then has no value (an unset variable in "--identity $NAME --").
        const bool hasValue = position + 1 < argc && argv[position + 1] != nullptr &&
                              !(std::string_view(argv[position + 1]) == "--" && position + 2 < argc);
        if (arg == "--config") {
            if (!hasValue) return ParseOutcome::Invalid;
            const std::string path = argv[position + 1];
            std::string bytes, error;
            int line = 0;
            if (!readSettingsFile(path, bytes, error)) {
                err << "Settings file \"" << path << "\" cannot be read: " << error << ".\n";
                return ParseOutcome::InvalidSettings;
            }
            const std::string logBefore = options.logFile;
            std::vector<SettingsWarning> warnings;
            const bool applied = applySettings(bytes, options, line, error, &warnings);
            // Also when a later line is bad: the log named before it gets the error.
            if (!options.logFile.empty() && options.logFile != logBefore) {
                options.logFile = besideSettingsFile(path, options.logFile);
            }
            if (!applied) {
                err << "Settings file \"" << path << "\", line " << line << ": " << error << ".\n";
                return ParseOutcome::InvalidSettings;
            }
            for (const SettingsWarning& warning : warnings) {
                options.warnings.push_back("Settings file \"" + path + "\", line " +
                                           std::to_string(warning.line) + ": " + warning.text + ".\n");
            }
            ++position;
            continue;
        }
        // Only on the command line: a settings file says how the bridge runs, not what it does.
        if (arg == "--check" || arg == "--json") {
            (arg == "--check" ? options.check : options.json) = true;
            continue;
        }
        const OptionSpec* option = arg.starts_with("--") ? findOption(arg.substr(2)) : nullptr;
        if (option == nullptr) {
            err << "Unknown option: " << arg << "\n";
            return ParseOutcome::Invalid;
        }
        // The value is the next argument, whatever it looks like.
        if (!option->isFlag && !hasValue) return ParseOutcome::Invalid;
        if (!option->set(option->isFlag ? nullptr : argv[position + 1], options)) {
            return ParseOutcome::Invalid;
        }
        position += option->isFlag ? 0 : 1;
    }
    return ParseOutcome::Run;
}

}  // namespace

ParseOutcome parseCommandLine(int argc, const char* const* argv, BridgeOptions& options,
                              std::ostream& err) {
    int position = 1;
    ParseOutcome outcome = parseOptions(argc, argv, options, err, position);
    if (outcome == ParseOutcome::Run && options.json && !options.check) outcome = ParseOutcome::Invalid;
    if (outcome == ParseOutcome::Run) return outcome;
    // The game's command after a bad option, or after --help or --version,
    // still runs: the first "--" from it on (also one that a bad option would
    // have taken as its value, or the one a line refused as a whole stopped at).
    // A log named past it still gets the error.
    options.command.clear();
    for (int at = position; at < argc && argv[at] != nullptr; ++at) {
        const std::string_view arg = argv[at];
        if (arg == "--") {
            takeCommand(at, argc, argv, options);
            break;
        }
        const char* value = at + 1 < argc ? argv[at + 1] : nullptr;
        if (arg == "--log" && value != nullptr && *value != '\0' && std::string_view(value) != "--") {
            options.logFile = value;
            ++at;
        }
    }
    return outcome;
}

}  // namespace corvane
