#include "driver/start_line.h"

#include "driver/game_launch.h"

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

}  // namespace

std::string formatStartLine(const BridgeOptions& options) {
    std::string text = "CorvaneVoiceBridge: " + modeText(options) + " as \"" + options.identity +
                       "\" in context \"" + options.context + "\". Ctrl-C stops.\n";
    if (options.wow && !options.identityGiven) {
        text += "Every player without --identity shares the identity \"CorvaneTest\": "
                "start with --identity and your character's name.\n";
    }
    return text;
}

}  // namespace corvane
