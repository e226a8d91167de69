#include "link/utf8.h"

#include "common/windows_support.h"

#include <climits>

namespace corvane {

bool platformUtf8ToUtf16(std::string_view text, std::u16string& out) {
    out.clear();
    if (text.empty()) return true;
    if (text.size() > static_cast<std::size_t>(INT_MAX)) return false;
    const int length = static_cast<int>(text.size());
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (units <= 0) return false;
    out.assign(static_cast<std::size_t>(units), u'\0');
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length,
                        reinterpret_cast<wchar_t*>(out.data()), units);
    return true;
}

}  // namespace corvane
