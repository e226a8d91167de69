#pragma once
// The byte strings on which our UTF-8 decoder and Windows' MultiByteToWideChar
// must agree, and the file formats in which the two sides exchange them.

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace corvane::utf8cases {

// Every one- and two-byte string; every three- and four-byte string over the
// bytes that sit on a boundary of the encoding; every scalar value; overlong,
// surrogate and out-of-range forms; truncations, stray continuation bytes and
// embedded zero bytes; then random strings drawn from `seed`. No empty string:
// MultiByteToWideChar refuses an empty input as a bad parameter.
std::vector<std::string> generate(std::uint64_t seed);

// Cases file: per string, its length (4 bytes, little-endian) and its bytes.
void writeCases(std::ostream& out, const std::vector<std::string>& cases);
bool readCases(std::istream& in, std::vector<std::string>& cases);

// Verdict file: per string, the number of UTF-16 units (4 bytes, signed,
// little-endian), then either those units (2 bytes each) or, for 0, the
// Win32 error code (4 bytes).
struct Verdict {
    std::int32_t units = 0;
    std::uint32_t error = 0;
    std::u16string text;
};
void writeVerdict(std::ostream& out, const Verdict& verdict);
bool readVerdict(std::istream& in, Verdict& verdict);

}  // namespace corvane::utf8cases
