#include "link/utf8.h"

namespace corvane {

bool platformUtf8ToUtf16(std::string_view text, std::u16string& out) {
    return decodeUtf8Strict(text, out);
}

}  // namespace corvane
