#include "cli/game_command.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

// What the Microsoft C runtime gives back for each argument: quotes only where
// needed; backslashes double only before a quote, the closing one included.
TEST(QuotedCommandLine, EveryArgumentReadsBackUnchanged) {
    const struct { std::vector<std::string> command; std::string line; } rows[] = {
        {{"wine", "Wow.exe"}, "wine Wow.exe"},
        {{"C:\\Program Files\\WoW\\Wow.exe", "-console"}, "\"C:\\Program Files\\WoW\\Wow.exe\" -console"},
        {{"g", "a b", "", "tab\there"}, "g \"a b\" \"\" \"tab\there\""},
        {{"g", "say \"hi\"", "C:\\dir\\", "C:\\my dir\\", "a\\\\\"b"},
         "g \"say \\\"hi\\\"\" C:\\dir\\ \"C:\\my dir\\\\\" \"a\\\\\\\\\\\"b\""},
    };
    for (const auto& row : rows) EXPECT_EQ(quotedCommandLine(row.command), row.line);
}

}  // namespace
}  // namespace corvane
