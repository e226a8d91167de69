#include "cli/utf8_arguments.h"

#include "common/windows_support.h"

#include <climits>

namespace corvane {

std::string utf8FromUtf16(std::wstring_view text) {
    if (text.empty() || text.size() > INT_MAX / 3) return {};
    const int units = static_cast<int>(text.size());
    // Without WC_ERR_INVALID_CHARS an unpaired surrogate is replaced, not refused.
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), units, utf8.data(), bytes, nullptr, nullptr);
    return utf8;
}

}  // namespace corvane
