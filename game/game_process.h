#pragma once
// An opened game process: found by executable name, opened for reading, with
// its main module's load address. Toolhelp snapshots and ReadProcessMemory on
// Windows; /proc elsewhere.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

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
    // ignoring case. Closes any earlier process first; holds nothing on failure.
    Status open(std::wstring_view exeName, std::uint32_t& errorCode);
    void close() noexcept;

    // Reads exactly `size` bytes at `address` of the process; a partial read fails.
    bool read(std::uint64_t address, void* out, std::size_t size) const noexcept;

    bool isOpen() const noexcept { return impl_ != nullptr; }
    std::uint32_t id() const noexcept { return id_; }
    std::uint64_t moduleBase() const noexcept { return moduleBase_; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::uint32_t id_ = 0;
    std::uint64_t moduleBase_ = 0;
};

// Whole-name comparison ignoring ASCII case, as the process search makes it.
bool sameExecutableName(std::string_view name, std::wstring_view wanted) noexcept;

}  // namespace corvane
