#include "driver/start_line.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(StartLine, SaysTheModeTheIdentityAndTheContext) {
    const char* const shared =
        "Every player without --identity shares the identity \"CorvaneTest\": start with"
        " --identity and your character's name.\n";
    const struct {
        BridgeOptions options;
        std::string text;
    } rows[] = {
        {{}, "CorvaneVoiceBridge: synthetic mode (standing at (0, 0, 1); add --wow to read the"
             " game) as \"CorvaneTest\" in context \"CORVANE:WORLD:1\". Ctrl-C stops.\n"},
        {{.x = -2.5f, .orbit = true, .radius = 1e6f},
         "CorvaneVoiceBridge: synthetic mode (circling at radius 1e+06 m; add --wow to read the"
         " game) as \"CorvaneTest\" in context \"CORVANE:WORLD:1\". Ctrl-C stops.\n"},
        {{.wow = true}, "CorvaneVoiceBridge: live mode (reading Wow.exe) as \"CorvaneTest\" in"
                        " context \"CORVANE:WORLD:1\". Ctrl-C stops.\n" + std::string(shared)},
        {{.identity = "\xD0\x96\xD0\xB0\xD0\xBD\xD0\xBD\xD0\xB0", .context = "ctx-\xC3\xA9",
          .wow = true, .identityGiven = true},
         "CorvaneVoiceBridge: live mode (reading Wow.exe) as \"\xD0\x96\xD0\xB0\xD0\xBD\xD0\xBD"
         "\xD0\xB0\" in context \"ctx-\xC3\xA9\". Ctrl-C stops.\n"},
    };
    for (const auto& row : rows) EXPECT_EQ(formatStartLine(row.options), row.text);
}

}  // namespace
}  // namespace corvane
