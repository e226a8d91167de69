#include "link/link_readers.h"

#include "common/proc_files.h"
#include "common/unique_fd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <string_view>
#include <unordered_map>

namespace corvane {
namespace {

// Without word of opens and closes, the maps of all the player's processes
// are read at every fifth answer (every 10 s when asked every 2 s).
constexpr int kBlindFullScanEvery = 5;
// Processes found quiet (another user's, or the player's sharing our
// /dev/shm and holding nothing) are passed over between full looks without a
// system call; every so many looks (every minute at 2 s) they are looked at
// again, for one that moved into a /dev/shm of its own.
constexpr int kQuietForgottenEvery = 30;
// When the object was opened or closed, only the maps of the player's
// processes that are new or whose size changed since their maps were last
// read are read (a reader grows by the mapping); everyone's every so many
// looks (every 5 minutes at 2 s), for one that mapped the link and let go of
// as much elsewhere.
constexpr int kWholeLookEvery = 150;

// A process's size in pages (the first figure of statm); 0 when unknown.
unsigned long sizeOf(int procFd, const char* pid) {
    const std::string statm = readProcFile(std::string(pid) + "/statm", 256, procFd).value_or(std::string());
    return std::strtoul(statm.c_str(), nullptr, 10);
}

struct Closer {
    void operator()(DIR* directory) const noexcept { closedir(directory); }
};

// How the process's mappings hold the link, from its maps.
std::optional<LinkReader::Holds> heldInMaps(int procFd, const std::string& pid, const SharedMemory::Identity& link) {
    const UniqueFd fd(openat(procFd, (pid + "/maps").c_str(), O_RDONLY | O_CLOEXEC));
    const std::uint32_t major = ::major(static_cast<dev_t>(link.device));
    const std::uint32_t minor = ::minor(static_cast<dev_t>(link.device));
    std::optional<LinkReader::Holds> best;
    std::string maps;
    char buffer[65536];
    for (ssize_t got; fd && (got = read(fd.get(), buffer, sizeof buffer)) > 0;) {
        maps.append(buffer, static_cast<std::size_t>(got));
        std::size_t start = 0;
        for (std::size_t newline = maps.find('\n'); newline != std::string::npos;
             start = newline + 1, newline = maps.find('\n', start)) {
            const auto file = parseMapsLine(std::string_view(maps).substr(start, newline - start));
            const auto held = file ? linkHeld(*file, major, minor, link.inode, link.name) : std::nullopt;
            if (held && (!best || *held == LinkReader::Holds::ThisLink)) best = held;
        }
        maps.erase(0, start);
    }
    return best;
}

}  // namespace

struct ReaderScan::Impl {
    UniqueFd events;  // inotify: the object opened or closed by anyone
    SharedMemory::Identity watched;
    bool watching = false;
    int answers = 0;
    // The readers on our /dev/shm's device (of this link and of removed ones), by pid.
    std::map<std::uint32_t, LinkReader> ofOurDevice;
    // Quiet processes by pid, with their /proc entry's inode: a new process
    // under an old pid has another.
    std::unordered_map<std::uint32_t, ino_t> quiet;
    // The player's processes that held nothing of ours when their maps were
    // last read: their /proc entry's inode and their size then.
    struct Size {
        ino_t inode = 0;
        unsigned long pages = 0;
    };
    std::unordered_map<std::uint32_t, Size> sizes;
    int looks = 0;
    int sinceWhole = 0;
    struct stat ourShm {};

    // Watches the object at the name for opens and closes, when that is the link.
    void watch(const SharedMemory::Identity& link) {
        watching = false;
        if (!events) events.reset(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
        if (!events) return;
        const std::string path = "/dev/shm/" + link.name;
        if (inotify_add_watch(events.get(), path.c_str(), IN_OPEN | IN_CLOSE | IN_DONT_FOLLOW) < 0) return;
        struct stat info {};
        watching = stat(path.c_str(), &info) == 0 && info.st_dev == link.device && info.st_ino == link.inode;
        watched = link;
    }
    // Whether anyone opened or closed the object since the last call.
    bool touched() {
        bool any = false;
        alignas(inotify_event) char buffer[4096];
        while (read(events.get(), buffer, sizeof buffer) > 0) any = true;
        return any;
    }
};

ReaderScan::ReaderScan() : impl_(std::make_unique<Impl>()) {}
ReaderScan::~ReaderScan() = default;

std::optional<std::vector<LinkReader>> ReaderScan::find(const SharedMemory::Identity& link,
                                                        const std::atomic<bool>& stop) {
    Impl& state = *impl_;
    bool full = !state.watching || !(state.watched == link);
    if (full) state.watch(link);  // events from here on; the full scan below covers what came before
    const bool touched = state.watching && state.touched();
    if (!state.watching && ++state.answers % kBlindFullScanEvery != 1) full = false;
    if (state.watching && ++state.sinceWhole >= kWholeLookEvery) full = true;
    if (full) state.sinceWhole = 0;
    const bool opened = touched && !full;

    const std::unique_ptr<DIR, Closer> proc(opendir("/proc"));
    if (!proc) return std::nullopt;
    const int procFd = dirfd(proc.get());
    const std::string ownShm = "/root/dev/shm/" + link.name;
    const pid_t self = getpid();
    if (++state.looks % kQuietForgottenEvery == 1 || stat("/dev/shm", &state.ourShm) != 0) state.quiet.clear();
    std::unordered_map<std::uint32_t, ino_t> quiet;
    std::unordered_map<std::uint32_t, Impl::Size> sizes;
    std::map<std::uint32_t, LinkReader> found;
    while (const dirent* entry = readdir(proc.get())) {
        if (stop.load()) return std::nullopt;
        char* end = nullptr;
        const auto pid = static_cast<std::uint32_t>(std::strtoul(entry->d_name, &end, 10));
        if (*end != '\0' || pid == 0 || static_cast<pid_t>(pid) == self) continue;
        const auto sized = state.sizes.find(pid);
        const bool sameSize = sized != state.sizes.end() && sized->second.inode == entry->d_ino;
        if (sameSize) sizes.insert(*sized);  // until its maps are read again
        const auto was = state.quiet.find(pid);
        const bool wasQuiet = was != state.quiet.end() && was->second == entry->d_ino;
        if (!full && !opened && wasQuiet) {
            quiet.insert(*was);
            continue;
        }
        // After an open, one of the player's that held nothing and kept its size is passed over.
        if (opened && sameSize && state.ofOurDevice.find(pid) == state.ofOurDevice.end()) {
            const unsigned long pages = sizeOf(procFd, entry->d_name);
            if (pages != 0 && pages == sized->second.pages) {
                if (wasQuiet) quiet.insert(*was);
                continue;
            }
        }
        // Whether it sees our /dev/shm: then only an open, which inotify tells, makes it a reader.
        const auto sharesOurShm = [&] {
            struct stat shm {};
            return state.watching &&
                   fstatat(procFd, (entry->d_name + std::string("/root/dev/shm")).c_str(), &shm, 0) == 0 &&
                   shm.st_dev == state.ourShm.st_dev && shm.st_ino == state.ourShm.st_ino;
        };
        if (!isPlayersProcess(pid)) {
            quiet.insert({pid, entry->d_ino});
            continue;
        }
        struct stat info {};
        // Between full looks: a reader of the link stays one while it lives
        // (its end closes the object, which calls for a look); one of a
        // removed link is looked at again; of the others only a process whose
        // /dev/shm holds another object of the name, a sandbox's, where
        // nothing tells of its opens. After an open or close, the readers and
        // the processes new or of another size since their maps were read.
        const auto known = state.ofOurDevice.find(pid);
        if (!full && !opened && known != state.ofOurDevice.end() && known->second.holds == LinkReader::Holds::ThisLink) {
            found.insert(*known);
            continue;
        }
        const unsigned long pages = full || opened ? sizeOf(procFd, entry->d_name) : 0;
        if (!full && !opened && known == state.ofOurDevice.end()) {
            if (sharesOurShm()) {
                quiet.insert({pid, entry->d_ino});
                continue;
            }
            if (fstatat(procFd, (entry->d_name + ownShm).c_str(), &info, 0) != 0 ||
                info.st_dev == static_cast<dev_t>(link.device)) {
                continue;
            }
        }
        const auto held = heldInMaps(procFd, entry->d_name, link);
        sizes.erase(pid);
        if (!held) {
            if (pages != 0) sizes[pid] = {entry->d_ino, pages};
            if (sharesOurShm()) quiet.insert({pid, entry->d_ino});
            continue;
        }
        std::string program = readProcFile(std::string(entry->d_name) + "/comm", 256, procFd).value_or(std::string());
        if (program.ends_with('\n')) program.pop_back();
        found[pid] = {pid, program, *held};
    }
    state.quiet = std::move(quiet);
    state.sizes = std::move(sizes);

    std::vector<LinkReader> readers;
    state.ofOurDevice.clear();
    for (const auto& [pid, reader] : found) {
        readers.push_back(reader);
        if (reader.holds != LinkReader::Holds::Elsewhere) state.ofOurDevice.insert({pid, reader});
    }
    return readers;
}

// A sandbox's PID namespace shows only its own processes in /proc: a voice
// client outside it is never found from inside. With a /proc of its own, the
// status names the process in that namespace alone; the namespace's number
// tells then: the first one's is fixed (0xEFFFFFFC).
bool lookSeesEveryProcess() {
    if (access("/.flatpak-info", F_OK) == 0) return false;
    char ns[64] = {};
    const ssize_t got = readlink("/proc/self/ns/pid", ns, sizeof ns - 1);
    if (got > 0 && std::string_view(ns, static_cast<std::size_t>(got)) != "pid:[4026531836]") return false;
    const auto status = readProcFile("/proc/self/status", 16384);
    return !status || statusSeesEveryProcess(*status);
}

}  // namespace corvane
