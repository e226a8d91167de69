#include "driver/start_line.h"

#include <cstdio>

namespace corvane {
namespace {

std::string number(float value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", static_cast<double>(value));
    return buffer;
}

std::string modeText(const BridgeOptions& o) {
    if (o.wow) return "live mode (reading Wow.exe)";
    const std::string hint = "; add --wow to follow the game)";
    if (o.orbit) {
        return "synthetic mode (circling at radius " + number(o.radius) + " m, height " +
               number(o.y) + " m, " + number(o.speed) + " degrees a second" + hint;
    }
    return "synthetic mode (standing still at (" + number(o.x) + ", " + number(o.y) + ", " +
           number(o.z) + ") facing " + number(o.yaw) + " degrees" + hint;
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
