#pragma once

#include <string>
#include <string_view>

namespace corvane {

// The identity's conversion for the Windows record: the UTF-16 text of
// well-formed UTF-8, otherwise one unit per byte, each byte sign-extended
// (0xFF -> 0xFFFF).
std::u16string utf8ToUtf16(std::string_view text);

// The identity's conversion for the Linux record: one unit per code point;
// every byte that does not belong to a well-formed sequence becomes U+FFFD,
// so the result is always valid UTF-32.
std::u32string utf8ToUtf32(std::string_view text);

// The platform's strict converter: Windows' MultiByteToWideChar(CP_UTF8,
// MB_ERR_INVALID_CHARS) there, decodeUtf8Strict elsewhere. False for input
// that is not well-formed UTF-8; `out` is then unspecified.
bool platformUtf8ToUtf16(std::string_view text, std::u16string& out);

// Accepts and rejects exactly what MultiByteToWideChar(CP_UTF8,
// MB_ERR_INVALID_CHARS) does: overlong forms, encoded surrogates, values above
// U+10FFFF, truncated sequences and stray continuation bytes are ill-formed;
// noncharacters and zero bytes are not. Portable, so the Windows tests can
// compare it with the real thing.
bool decodeUtf8Strict(std::string_view text, std::u16string& out);

// The code point of the well-formed sequence that `text` starts with, by the
// rules of decodeUtf8Strict, and its length in bytes; 0 when it starts with
// none (or is empty), `code` then unspecified.
std::size_t decodeUtf8Sequence(std::string_view text, char32_t& code);

// Appends the UTF-8 bytes of one code point (at most U+10FFFF; surrogates
// are the caller's to keep out).
void appendUtf8(std::string& out, char32_t code);

}  // namespace corvane
