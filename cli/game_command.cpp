#include "cli/game_command.h"

namespace corvane {

std::string quotedCommandLine(const std::vector<std::string>& command) {
    std::string line;
    for (std::size_t i = 0; i < command.size(); ++i) {
        const std::string& arg = command[i];
        if (i > 0) line += ' ';
        const bool quote = arg.empty() || arg.find_first_of(" \t\n\v\"") != std::string::npos;
        if (i == 0) {
            // A program's name ends at the next quote: it has no escapes.
            line += quote ? "\"" + arg + "\"" : arg;
            continue;
        }
        if (!quote) {
            line += arg;
            continue;
        }
        line += '"';
        std::size_t backslashes = 0;
        for (const char c : arg) {
            if (c == '"') line.append(backslashes + 1, '\\');
            backslashes = c == '\\' ? backslashes + 1 : 0;
            line += c;
        }
        line.append(backslashes, '\\');  // before the closing quote
        line += '"';
    }
    return line;
}

}  // namespace corvane
