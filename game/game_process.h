#pragma once
// An opened game process: found by executable name, opened for reading, with
// its main module's load address. Toolhelp snapshots (or the process's module
// list, where Wine takes no module snapshot of a 32-bit game) and
// ReadProcessMemory on Windows; /proc elsewhere.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

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

    // Attaches to the first process whose executable name equals `exeName`,
    // ignoring case; with an `ancestor` other than 0, to the first of them that
    // is that process or descends from it (NotFound when none does). Closes any
    // earlier process first; holds nothing on failure. `found` receives every
    // live process of that name, in search order but the chosen one first.
    Status open(std::wstring_view exeName, std::uint32_t& errorCode,
                std::vector<std::uint32_t>& found, std::uint32_t ancestor = 0);
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

// A process and its parent, as the process list gives them.
struct ProcessLink {
    std::uint32_t pid;
    std::uint32_t parent;
};

// Moves to the front the first of `found` that is `ancestor` or descends from
// it along the parent links of `processes`. False, `found` unchanged, when
// none does. A chain that loops (Windows reuses the ID of an ended parent) or
// leaves the list ends without a match.
bool preferDescendant(std::vector<std::uint32_t>& found, const std::vector<ProcessLink>& processes,
                      std::uint32_t ancestor);

// Whole-name comparison ignoring ASCII case, as the process search makes it.
bool sameExecutableName(std::string_view name, std::wstring_view wanted) noexcept;

// `prefix` + " (Win32 error 5)", completed with the cause and the fix when
// Linux's Yama policy (kernel.yama.ptrace_scope = `yamaScope`, 1 to 3) refused
// the read; the plain Windows text otherwise.
std::string openRefusedText(std::string_view prefix, std::uint32_t code, int yamaScope);

}  // namespace corvane
