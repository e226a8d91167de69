#pragma once
// The log a player asks for with --log FILE: the start line, notices, errors
// and every change of the status label, each line with a local timestamp,
// appended across runs and kept under 1 MiB.

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace corvane {

inline constexpr std::size_t kLogFileLimit = 1024 * 1024;

// `text`'s lines, each after `timestamp` and a space; empty lines are left
// out, and the last line gets its line feed when it has none.
std::string timestampedLines(std::string_view timestamp, std::string_view text);

// What is kept of the newer half of a log that reached the limit, read from
// somewhere inside a line: `tail` from its first whole line on.
std::string_view wholeLinesOf(std::string_view tail);

// The platform's part: the local time as "YYYY-MM-DD hh:mm:ss"; and the
// regular file at the UTF-8 `path` opened for reading and appending (made
// when there is none, emptied first with `empty`), or null with the reason in
// `error`.
std::string localTimestamp();
std::FILE* openLogStream(const std::string& path, bool empty, std::string& error);

class LogFile {
public:
    LogFile() noexcept;
    LogFile(LogFile&&) noexcept;
    LogFile& operator=(LogFile&&) noexcept;
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;
    ~LogFile();

    // Opens the file at the UTF-8 `path` for appending, made when there is
    // none (POSIX: readable by the user alone); a file that has reached the
    // limit loses its older half first. False with the reason (e.g. "it is a
    // folder") in `error`: only a regular file is taken.
    bool open(const std::string& path, std::string& error);
    // Appends `bytes` and writes them out; a log that would pass the limit
    // loses its older half first. False when the write failed.
    bool append(std::string_view bytes);

private:
    bool trim();

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace corvane
