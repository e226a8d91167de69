#pragma once
// The log a player asks for with --log FILE: the start line, notices, errors
// and every change of the status label, each line with a local timestamp,
// appended across runs and kept under 1 MiB.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace corvane {

inline constexpr std::size_t kLogFileLimit = 1024 * 1024;

// `text`'s lines, each after `timestamp` and a space; empty lines are left
// out, and the last line gets its line feed when it has none.
std::string timestampedLines(std::string_view timestamp, std::string_view text);

// What is kept of the newer part of a log that reached the limit, read from
// somewhere inside a line: `tail` from its first whole line on.
std::string_view wholeLinesOf(std::string_view tail);

// The platform's part. The local time as "YYYY-MM-DD hh:mm:ss". The log as
// an open file: a descriptor on POSIX, a handle on Windows.
using LogHandle = std::intptr_t;
inline constexpr LogHandle kNoLogHandle = -1;
std::string localTimestamp();
// The regular file at the UTF-8 `path`, opened to read and append, made when
// there is none (POSIX: 0600). Refused, with the reason in `error`, unless it
// is the player's alone: no symbolic link in its last part, nor a file with
// other names (hard links); on POSIX none of another user's, nor one that
// every user may write to.
LogHandle openLogHandle(const std::string& path, std::string& error);
void closeLogHandle(LogHandle handle);
// The file's size as it is now, whoever wrote it; false when unknown.
bool logSize(LogHandle handle, std::uint64_t& size);
// `bytes` at the file's end; false with the reason (e.g. "the disk is full") in `error`.
bool appendToLog(LogHandle handle, std::string_view bytes, std::string& error);
// Up to `size` bytes from `offset`; how many were read.
std::size_t readLogAt(LogHandle handle, std::uint64_t offset, char* buffer, std::size_t size);
// The file made `kept` through the same handle (no name is opened again), and
// written out. False when it was not: the file then holds the whole lines of
// `kept` that were written.
bool rewriteLog(LogHandle handle, std::string_view kept);

class LogFile {
public:
    LogFile() noexcept;
    LogFile(LogFile&&) noexcept;
    LogFile& operator=(LogFile&&) noexcept;
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;
    ~LogFile();

    // Opens the log at the UTF-8 `path` (see openLogHandle) without reading
    // or changing it, whatever its size. False with the reason (e.g. "it is
    // a folder") in `error`.
    bool open(const std::string& path, std::string& error);
    // Appends `bytes`. A file that would pass the limit (its size as it is
    // now, also what others wrote) first keeps only its newest whole lines:
    // with `bytes`, at most half the limit. False when the write failed.
    bool append(std::string_view bytes);
    // Why the first failed write failed, once; empty otherwise. May be asked
    // from another thread than append's.
    std::string takeFailure();

private:
    bool trim(std::uint64_t size, std::size_t incoming);

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace corvane
