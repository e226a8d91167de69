#include "common/console_win32.h"

#include <algorithm>
#include <climits>
#include <string>

namespace corvane {
namespace {

// The most units one WriteConsoleW gets: older consoles copy each write
// through a shared heap of 64 KiB and refuse a larger one outright.
constexpr std::size_t kChunkUnits = 8 * 1024;

bool writeWide(HANDLE console, std::wstring_view wide) {
    while (!wide.empty()) {
        std::size_t count = std::min(wide.size(), kChunkUnits);
        // A surrogate pair stays in one write.
        if (count < wide.size() && wide[count - 1] >= 0xD800 && wide[count - 1] <= 0xDBFF) --count;
        DWORD written = 0;
        if (!WriteConsoleW(console, wide.data(), static_cast<DWORD>(count), &written, nullptr) || written == 0) {
            return false;
        }
        wide.remove_prefix(std::min<std::size_t>(written, wide.size()));
    }
    return true;
}

}  // namespace

bool writeConsoleUtf8(HANDLE console, std::string_view text) noexcept {
    if (text.empty()) return true;
    if (text.size() > INT_MAX) return false;
    try {
        // Without MB_ERR_INVALID_CHARS each ill-formed byte becomes U+FFFD.
        const int bytes = static_cast<int>(text.size());
        const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, nullptr, 0);
        if (units <= 0) return false;
        std::wstring wide(static_cast<std::size_t>(units), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, wide.data(), units);
        return writeWide(console, wide);
    } catch (...) {  // no memory for the copy: this text is lost
        return false;
    }
}

}  // namespace corvane
