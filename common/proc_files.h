#pragma once
// POSIX: the small files of /proc the bridge reads (a process's status, stat
// and command name, the system's locks, its own environment), and whose
// processes are the player's. Only *_posix.cpp files include this header.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace corvane {

// Appends what `fd` holds from where it stands to its end, or its first
// `limit` bytes: a file of /proc gives its text in pieces of at most a page,
// so one read is not enough. False when a read fails (what came before stays).
bool readToEnd(int fd, std::string& text, std::size_t limit);

// The text of the file `path` (relative to the directory `directory`, or
// absolute with -1), at most `limit` bytes; nothing when it cannot be opened
// or read (a process that has ended).
std::optional<std::string> readProcFile(const std::string& path, std::size_t limit = 4096,
                                        int directory = -1);

// The real user of the process `pid` (the first number of "Uid:" in its
// status); nothing when it has ended or cannot be looked at.
std::optional<std::uint32_t> processRealUser(std::uint32_t pid);

// Whether the process `pid` is the player's: run by the bridge's real user,
// the one who started it. The real user, not the owner of /proc/<pid>: a
// process that is not dumpable (one with a file capability, such as a bridge
// that may read the game) has a /proc/<pid> of root's.
bool isPlayersProcess(std::uint32_t pid);

}  // namespace corvane
