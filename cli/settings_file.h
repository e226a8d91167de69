#pragma once
// The settings file of "--config FILE": lines "name = value" in the encodings
// Notepad offers. Decoding is pure; reading the file is the only part that
// touches the platform.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

inline constexpr std::size_t kSettingsFileLimit = 64 * 1024;

struct Setting {
    int line = 0;  // counted from 1, as an editor counts them
    std::string name;   // in lower case (names match without regard to case)
    std::string value;  // UTF-8
    bool unclosedQuote = false;  // it begins with a double quote that nothing closes
};

struct SettingsText {
    std::vector<Setting> settings;  // in the file's order
    int errorLine = 0;              // 0: the whole text is good
    std::string error;              // what is wrong on that line, without a period
};

// Decodes a settings file's bytes as editors save them: UTF-8 with or without
// its byte order mark, or UTF-16 LE or BE with one or without (told by its zero
// bytes). Lines end in CR LF, LF or CR; blanks around names and values are
// trimmed; empty lines and lines that begin with '#' or ';' are skipped, and a
// '#' or ';' after a space or tab begins a note that runs to the line's end
// (so "name = # note" is an empty value). One pair of double quotes around a
// whole value is taken off; an opening quote that nothing closes is kept, and
// marked. Stops at the
// first line that is no "name = value" or not text in the file's encoding.
SettingsText decodeSettingsText(std::string_view bytes);

// Reads the file at the UTF-8 `path`, of at most kSettingsFileLimit bytes.
// False with the reason (e.g. "it does not exist") in `error` otherwise.
bool readSettingsFile(const std::string& path, std::string& bytes, std::string& error);

// The platform's part: the first `limit` bytes of the file, or false with the
// reason in `error`.
bool readFileStart(const std::string& path, std::size_t limit, std::string& bytes,
                   std::string& error);

}  // namespace corvane
