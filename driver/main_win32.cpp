#include "cli/utf8_arguments.h"
#include "driver/bridge.h"

#include <string>
#include <vector>

// The wide entry point: a plain main would get its arguments in the ANSI code
// page, which turns "Жанна" into "?????". The parser takes UTF-8, exactly what
// the player typed, on every code page.
int wmain(int argc, wchar_t* argv[]) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) arguments.push_back(corvane::utf8FromUtf16(argv[i]));
    std::vector<const char*> pointers;
    for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
    pointers.push_back(nullptr);
    return corvane::runBridge(argc, pointers.data());
}
