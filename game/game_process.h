#pragma once
// An opened game process: listed by executable name among the player's own,
// opened for reading, with its main module's load address. Toolhelp snapshots (or the process's module
// list, where Wine takes no module snapshot of a 32-bit game) and
// ReadProcessMemory on Windows; /proc elsewhere.

#include "game/client_version.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// A process and its parent, as the process list gives them.
struct ProcessLink {
    std::uint32_t pid;
    std::uint32_t parent;
};

class GameProcess {
public:
    enum class Status {
        Ok,
        ProcessSnapshotFailed,
        NotFound,
        OpenFailed,            // errorCode holds the Win32 code
        ModuleSnapshotFailed,
        ModuleBaseUnknown,
    };

    GameProcess() noexcept;
    GameProcess(GameProcess&&) noexcept;
    GameProcess& operator=(GameProcess&&) noexcept;
    GameProcess(const GameProcess&) = delete;
    GameProcess& operator=(const GameProcess&) = delete;
    ~GameProcess();

    // Every live process of the player's whose executable name equals
    // `exeName`, ignoring case, in the system's order: on Linux those of the
    // bridge's real user (every one for root), on Windows those of its session
    // and, where a process's token tells, of its user. `links`, unless null,
    // receives every process's parent; `others`, unless null, how many live
    // processes of the name are left out as not the player's. False when the
    // processes cannot be listed.
    static bool list(std::wstring_view exeName, std::vector<std::uint32_t>& found,
                     std::vector<ProcessLink>* links, std::size_t* others = nullptr);
    // Attaches to the process `pid`, whose main module is the file `moduleName`.
    // Closes any earlier process first; holds nothing on failure.
    Status open(std::uint32_t pid, std::wstring_view moduleName, std::uint32_t& errorCode);
    // Attaches to exactly the process `pid`, whatever its name; NotFound when
    // there is no such live process.
    Status openPid(std::uint32_t pid, std::uint32_t& errorCode);
    void close() noexcept;

    // Whether the attached process has ended (false when none is attached).
    // Bound to the process that was opened: a reused ID is never mistaken for it.
    bool hasExited() const noexcept;

    // On Linux, after OpenFailed: the kernel.yama.ptrace_scope value (1 to 3)
    // when that policy is what refused the read; 0 when it is not the cause.
    int yamaScope() const noexcept { return yamaScope_; }

    // Reads exactly `size` bytes at `address` of the process; a partial read fails.
    bool read(std::uint64_t address, void* out, std::size_t size) const noexcept;

    bool isOpen() const noexcept { return impl_ != nullptr; }
    std::uint32_t id() const noexcept { return id_; }
    std::uint64_t moduleBase() const noexcept { return moduleBase_; }

private:
    // Opens the process `pid`, whose main module is the file `moduleName`
    // (empty under --pid: whatever its name).
    Status attachTo(std::uint32_t pid, std::wstring_view moduleName, std::uint32_t& errorCode);

    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::uint32_t id_ = 0;
    std::uint64_t moduleBase_ = 0;
    int yamaScope_ = 0;
};

// The processes a game command counts as its own: each that descends from
// `ancestor` along the parent links and, where the system keeps the command's
// processes in a list of their own (a Windows job), each of `members`, whoever
// its parent (one that asked to leave the job still counts by its descent).
struct CommandProcesses {
    std::uint32_t ancestor = 0;
    std::optional<std::vector<std::uint32_t>> members;
};

// Those of `found`, in order, that are the command's: `ancestor` itself or its
// descendants along the parent links of `processes`, and those listed in `members`. A chain that loops (Windows reuses the ID of an ended parent)
// or leaves the list ends without a match.
std::vector<std::uint32_t> commandsOwn(const std::vector<std::uint32_t>& found,
                                       const std::vector<ProcessLink>& processes,
                                       const CommandProcesses& command);

// What a look at one process of the game's name found, best first: the order
// in which candidates are chosen.
enum class Candidate {
    Game,         // the client this bridge reads, its connection state readable
    Unversioned,  // no version resource to tell, its connection state readable
    Refused,      // it could not be opened (the Win32 code tells why)
    OtherBuild,   // another build of the client: never read
    NotTheGame,   // opened, but its connection state cannot be read
    NoModule,     // its main module could not be found
};

// The first of the best: the index into `looks`, which is not empty.
std::size_t chooseCandidate(const std::vector<Candidate>& looks);

// What a search saw of one process: what it is, its version where it has
// one, and for one not read why, as a clause ("it is version 4.3.4.15595").
struct ProcessLook {
    std::uint32_t pid = 0;
    Candidate candidate = Candidate::NoModule;
    std::optional<ClientVersion> version;
    std::string why;
};

// Whole-name comparison ignoring ASCII case, as the process search makes it.
bool sameExecutableName(std::string_view name, std::wstring_view wanted) noexcept;

// `prefix` + " (Win32 error 5)", completed with the cause and the fix when
// Linux's Yama policy (kernel.yama.ptrace_scope = `yamaScope`, 1 to 3) refused
// the read; the plain Windows text otherwise.
std::string openRefusedText(std::string_view prefix, std::uint32_t code, int yamaScope);

// Keeps out of effect the one privilege only opening the game needs (on
// Linux CAP_SYS_PTRACE, from a file capability), so that nothing else the
// bridge opens (the settings file, the link, the game command) is opened with
// it; open() raises it around the opening of one of the player's own
// processes. To be called first, before any thread starts. Nothing elsewhere.
void setAsideGameReadRight() noexcept;

}  // namespace corvane
