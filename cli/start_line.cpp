#include "cli/start_line.h"

#include "cli/game_command.h"

#include <cstdio>
#include <string>

namespace corvane {
namespace {

std::string number(float value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", static_cast<double>(value));
    return buffer;
}

std::string modeText(const BridgeOptions& o) {
    if (!o.command.empty()) {
        return "live mode (starting the game with: " + quotedCommandLine(o.command) + ")";
    }
    if (o.wow && o.pid != 0) return "live mode (reading process " + std::to_string(o.pid) + ")";
    if (o.wow) return o.wait ? "live mode (reading Wow.exe, waiting for it when it is not running)"
                             : "live mode (reading Wow.exe)";
    // Said plainly, since a forgotten --wow otherwise runs without a sign.
    const std::string hint = "; add --wow to read the game)";
    if (o.orbit) return "synthetic mode (circling at radius " + number(o.radius) + " m" + hint;
    return "synthetic mode (standing at (" + number(o.x) + ", " + number(o.y) + ", " +
           number(o.z) + ")" + hint;
}

// Players who share an identity share one isolation point and hear each other
// there, so a name that is not the player's own is pointed out.
std::string identityWarning(const BridgeOptions& o) {
    const std::string own = "every player needs a name of their own: use your character's name.\n";
    if (o.wow && !o.identityGiven) {
        return "Every player without --identity shares the identity \"CorvaneTest\": "
               "start with --identity and your character's name.\n";
    }
    if (o.identity.empty()) return "The identity is empty; " + own;
    if (o.identity == kPlaceholderIdentity) {
        return "The identity \"YourCharacterName\" is the example's placeholder; " + own;
    }
    if (o.wow && o.identity == "CorvaneTest") {
        return "The identity \"CorvaneTest\" is the default that every player shares; " + own;
    }
    return {};
}

}  // namespace

std::string formatStartLine(const BridgeOptions& options) {
    std::string text = "CorvaneVoiceBridge: " + modeText(options) + " as \"" + options.identity +
                       "\" in context \"" + options.context + "\". Ctrl-C stops.\n";
    return text + identityWarning(options);
}

}  // namespace corvane
