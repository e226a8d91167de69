#pragma once
// Windows: UTF-8 text to a console, the one way the bridge and the monitor
// write to one. Only *_win32.cpp files include this header.

#include "common/windows_support.h"

#include <string_view>

namespace corvane {

// Writes UTF-8 `text` whole to `console` as UTF-16, so names in every script
// show as typed whatever the console's code page. A byte that belongs to no
// well-formed sequence shows as U+FFFD, and the rest of the text as it is.
// False when the console refuses a write (or the memory for the copy is missing).
bool writeConsoleUtf8(HANDLE console, std::string_view text) noexcept;

}  // namespace corvane
