#pragma once
// Who else has the link open: the voice client, once it reads it. Linux names
// the player's processes that map the object (from /proc/<pid>/maps), and
// those that map another object of the same name, which never see our frames;
// Windows can only count the handles to the mapping. The scan runs on a thread
// of its own (ReaderWatch), so the cycle never waits for /proc.

#include "link/shared_memory.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace corvane {

struct LinkReader {
    enum class Holds {
        ThisLink,   // the object itself
        Removed,    // an earlier object of the name, removed from /dev/shm since
        Elsewhere,  // an object of the name in another /dev/shm: a sandbox's own
    };
    std::uint32_t pid = 0;  // 0: a holder the system does not name (Windows)
    std::string program;
    Holds holds = Holds::ThisLink;
    friend bool operator==(const LinkReader&, const LinkReader&) = default;
};

// The file a line of /proc/<pid>/maps maps: device (major:minor in hex),
// inode and path, without the " (deleted)" of a removed one. Nothing for an
// anonymous mapping or a line that is not one of maps.
struct MappedFile {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint64_t inode = 0;
    std::string_view path;
    bool deleted = false;
};
std::optional<MappedFile> parseMapsLine(std::string_view line);

// How a mapped file relates to the link object (its device, inode and name):
// the object, or another object of the same name on the same device (removed)
// or another (elsewhere); nothing when it is no link.
std::optional<LinkReader::Holds> linkHeld(const MappedFile& file, std::uint32_t major,
                                          std::uint32_t minor, std::uint64_t inode,
                                          std::string_view name);

// The sentence the player reads about them, one line with its line feed.
// `seesEveryProcess` false: the look sees only part of the computer's
// processes (lookSeesEveryProcess), so finding none says nothing.
std::string describeReaders(std::vector<LinkReader> readers, const std::string& location,
                            bool seesEveryProcess = true);

// Whether a process that /proc/self/status (its text `status`) describes sees
// every process: false when its NSpid names it in more than one PID namespace.
bool statusSeesEveryProcess(std::string_view status);
// Whether this process's look can see every process of the computer: not in a
// PID namespace of its own, nor in a Flatpak sandbox (Linux); always on Windows.
bool lookSeesEveryProcess();

// When the bridge says who reads the link: the first answer at once, then a
// changed one, but never within `gapNs` of the last.
class ReaderNotice {
public:
    explicit ReaderNotice(std::int64_t gapNs) : gapNs_(gapNs) {}
    std::optional<std::string> offer(const std::string& text, std::int64_t now);

private:
    std::int64_t gapNs_;
    std::string said_;
    std::optional<std::int64_t> saidAt_;
};

// The platform's answer (link_readers_<platform>.cpp).
class ReaderScan {
public:
    ReaderScan();
    ReaderScan(const ReaderScan&) = delete;
    ReaderScan& operator=(const ReaderScan&) = delete;
    ~ReaderScan();

    // The other processes that hold `link` (this process is none); nothing
    // when the system cannot tell, or `stop` was set meanwhile. Linux reads the
    // maps of all the player's processes at the first answer, after the link
    // changed and every 150th; when the object was opened or closed since the
    // last answer, those of the readers and of the processes new or resized since
    // their maps were read; else a known reader stays one while it lives, only
    // the maps of holders of a removed link and of processes whose own /dev/shm
    // holds an object of the name are read, and processes found quiet before
    // cost no system call.
    std::optional<std::vector<LinkReader>> find(const SharedMemory::Identity& link,
                                                const std::atomic<bool>& stop);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Asks a ReaderScan at once and then every `interval`, on a thread of its
// own, and keeps the latest answer as describeReaders' text.
class ReaderWatch {
public:
    explicit ReaderWatch(std::int64_t intervalMs = 2000) : intervalMs_(intervalMs) {}
    ReaderWatch(const ReaderWatch&) = delete;
    ReaderWatch& operator=(const ReaderWatch&) = delete;
    // A look under way gives up at its next process; one stuck in /proc (a
    // process hung inside its memory map) is left behind after a short while.
    ~ReaderWatch();

    // The object to ask about.
    void watch(const SharedMemory::Identity& link);
    // Nothing before the first answer about the current link, or where the
    // system cannot tell.
    std::optional<std::string> latest() const;
    // Why no look can run (no thread could be made for it), once; else empty.
    std::string takeFailure();

private:
    struct Shared;  // between the owner and the thread, kept alive by both

    void startThread();

    const std::int64_t intervalMs_;
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
    std::string failure_;
    bool failureSaid_ = false;
};

}  // namespace corvane
