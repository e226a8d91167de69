#include "cli/settings_file.h"

#include "link/utf8.h"

#include <optional>

namespace corvane {
namespace {

// Lines end in CR LF (Windows), LF (Unix) or CR alone (old Macintosh): Notepad
// writes all three. The last line needs no end of its own.
std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    lines.push_back(text.substr(start));
    return lines;
}

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

// UTF-16 after its byte order mark into UTF-8. False at a lone surrogate, a
// zero unit or an odd last byte: `out` then ends at that character.
bool utf16ToUtf8(std::string_view bytes, bool bigEndian, std::string& out) {
    const auto unit = [&](std::size_t i) -> char32_t {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<char32_t>(bigEndian ? (first << 8 | second) : (second << 8 | first));
    };
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        if (i + 1 >= bytes.size()) return false;
        char32_t code = unit(i);
        if (code == 0 || (code >= 0xDC00 && code <= 0xDFFF)) return false;
        if (code >= 0xD800 && code <= 0xDBFF) {
            if (i + 3 >= bytes.size()) return false;
            const char32_t low = unit(i + 2);
            if (low < 0xDC00 || low > 0xDFFF) return false;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        appendUtf8(out, code);
    }
    return true;
}

constexpr bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Where a note begins: a '#' or ';' after a space or tab, so that
// "CORVANE#1" keeps its mark; npos without one.
std::size_t noteStart(std::string_view text) {
    for (std::size_t i = 1; i < text.size(); ++i) {
        if ((text[i] == '#' || text[i] == ';') && isBlank(text[i - 1])) return i;
    }
    return std::string_view::npos;
}

// What follows the '=': one pair of double quotes around the whole value is
// taken off (a quote inside stays, and so does a '#' or ';' inside the
// pair); a note after the value is left out, also one right after the '='
// and its blank, which leaves the value empty.
std::string_view valueOf(std::string_view afterEquals, bool& unclosedQuote) {
    const std::size_t note = noteStart(afterEquals);
    std::string_view text = trimmed(afterEquals);
    if (note != std::string_view::npos && trimmed(afterEquals.substr(0, note)).empty()) return {};
    unclosedQuote = text.starts_with('"') && text.find('"', 1) == std::string_view::npos;
    if (text.starts_with('"')) {
        for (std::size_t close = text.find('"', 1); close != std::string_view::npos;
             close = text.find('"', close + 1)) {
            const std::string_view after = text.substr(close + 1);
            if (trimmed(after).empty() || noteStart(after) == after.find_first_not_of(" \t")) {
                return text.substr(1, close - 1);
            }
        }
    }
    return trimmed(text.substr(0, noteStart(text)));
}

// Names match without regard to case: all of them are ASCII.
std::string lowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

// UTF-16 saved without its byte order mark is told by its zero bytes: the
// first line begins with a name, a note's mark or a blank, all ASCII, whose
// upper byte is zero. UTF-8 text never holds a zero byte.
std::optional<bool> utf16WithoutMark(std::string_view bytes) {
    if (bytes.size() < 2 || (bytes[0] == '\0') == (bytes[1] == '\0')) return std::nullopt;
    return bytes[0] == '\0';  // big-endian
}

}  // namespace

SettingsText decodeSettingsText(std::string_view bytes) {
    SettingsText result;
    const auto fail = [&result](std::size_t line, const char* error) {
        result.errorLine = static_cast<int>(line);
        result.error = error;
        return result;
    };
    std::string converted;
    std::string_view text = bytes;
    bool utf16Failed = false;
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    } else if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
        utf16Failed = !utf16ToUtf8(bytes.substr(2), bytes[0] == '\xFE', converted);
        text = converted;
    } else if (const std::optional<bool> bigEndian = utf16WithoutMark(bytes)) {
        utf16Failed = !utf16ToUtf8(bytes, *bigEndian, converted);
        text = converted;
    }

    // A failed conversion ended inside its last line; the lines before it come first.
    const std::vector<std::string_view> lines = splitLines(text);
    const std::size_t whole = utf16Failed ? lines.size() - 1 : lines.size();
    for (std::size_t i = 0; i < whole; ++i) {
        std::u16string unused;
        if (!decodeUtf8Strict(lines[i], unused) || lines[i].find('\0') != std::string_view::npos) {
            return fail(i + 1, "the text is not UTF-8 (the file looks saved in the ANSI code "
                               "page): save it as UTF-8");
        }
        const std::string_view line = trimmed(lines[i]);
        if (line.empty() || line.front() == '#' || line.front() == ';') continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || noteStart(line) < equals) {
            return fail(i + 1, "no \"=\": write name = value");
        }
        bool unclosedQuote = false;
        const std::string value(valueOf(line.substr(equals + 1), unclosedQuote));
        result.settings.push_back({static_cast<int>(i + 1), lowerCase(trimmed(line.substr(0, equals))),
                                   value, unclosedQuote});
    }
    if (utf16Failed) return fail(lines.size(), "the text is not valid UTF-16: save it as UTF-8");
    return result;
}

bool readSettingsFile(const std::string& path, std::string& bytes, std::string& error) {
    // One byte beyond the limit tells a file that is too large.
    if (!readFileStart(path, kSettingsFileLimit + 1, bytes, error)) return false;
    if (bytes.size() <= kSettingsFileLimit) return true;
    error = "it is larger than 64 KiB";
    return false;
}

}  // namespace corvane
