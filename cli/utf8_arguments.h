#pragma once
// Windows gives wmain its arguments in UTF-16; the parser and the link take
// UTF-8.

#include <string>
#include <string_view>

namespace corvane {

// The UTF-8 bytes of UTF-16 text. An unpaired surrogate becomes U+FFFD
// (EF BF BD) instead of failing the whole argument.
std::string utf8FromUtf16(std::wstring_view text);

}  // namespace corvane
