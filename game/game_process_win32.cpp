#include "game/game_process.h"

#include "common/windows_support.h"

#include <tlhelp32.h>

#include <cwchar>
#include <string>

namespace corvane {

struct GameProcess::Impl {
    UniqueNullHandle process;
};

static_assert(sizeof(PROCESSENTRY32W) == 568);
static_assert(sizeof(MODULEENTRY32W) == 1080);

GameProcess::GameProcess() noexcept = default;
GameProcess::GameProcess(GameProcess&&) noexcept = default;
GameProcess& GameProcess::operator=(GameProcess&&) noexcept = default;
GameProcess::~GameProcess() = default;

void GameProcess::close() noexcept {
    impl_.reset();
    id_ = 0;
    moduleBase_ = 0;
}

GameProcess::Status GameProcess::open(std::wstring_view exeName, std::uint32_t& errorCode,
                                      std::vector<std::uint32_t>& found, std::uint32_t ancestor) {
    close();
    found.clear();
    const std::wstring wanted(exeName);
    std::vector<ProcessLink> links;
    {
        UniqueSnapshotHandle processes(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        if (!processes) return Status::ProcessSnapshotFailed;
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32FirstW(processes.get(), &entry); more;
             more = Process32NextW(processes.get(), &entry)) {
            if (_wcsicmp(entry.szExeFile, wanted.c_str()) == 0) {
                found.push_back(entry.th32ProcessID);
            }
            if (ancestor != 0) links.push_back({entry.th32ProcessID, entry.th32ParentProcessID});
        }
    }
    if (found.empty() || (ancestor != 0 && !preferDescendant(found, links, ancestor))) {
        return Status::NotFound;
    }
    return attachTo(found.front(), exeName, errorCode);
}

GameProcess::Status GameProcess::openPid(std::uint32_t pid, std::uint32_t& errorCode) {
    close();
    const Status status = attachTo(pid, {}, errorCode);
    // OpenProcess refuses an ID that names no process with ERROR_INVALID_PARAMETER;
    // a process that has ended but is still held open somewhere is no game either.
    if ((status == Status::OpenFailed && errorCode == ERROR_INVALID_PARAMETER) ||
        (status == Status::Ok && hasExited())) {
        close();
        return Status::NotFound;
    }
    return status;
}

GameProcess::Status GameProcess::attachTo(std::uint32_t pid, std::wstring_view,
                                          std::uint32_t& errorCode) {
    auto impl = std::make_unique<Impl>();
    impl->process.reset(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
    if (!impl->process) {
        errorCode = GetLastError();
        return Status::OpenFailed;
    }

    // The game is a 32-bit process and we are 64-bit: SNAPMODULE32 lists its modules.
    UniqueSnapshotHandle modules(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, pid));
    if (!modules) return Status::ModuleSnapshotFailed;
    MODULEENTRY32W module{};
    module.dwSize = sizeof module;
    if (!Module32FirstW(modules.get(), &module)) return Status::ModuleBaseUnknown;

    impl_ = std::move(impl);
    id_ = pid;
    moduleBase_ = reinterpret_cast<std::uintptr_t>(module.modBaseAddr);
    return Status::Ok;
}

bool GameProcess::hasExited() const noexcept {
    if (!impl_) return false;
    // The handle carries PROCESS_QUERY_INFORMATION, which is all this needs.
    DWORD code = 0;
    return GetExitCodeProcess(impl_->process.get(), &code) != FALSE && code != STILL_ACTIVE;
}

bool GameProcess::read(std::uint64_t address, void* out, std::size_t size) const noexcept {
    if (!impl_) return false;
    SIZE_T bytesRead = 0;
    const BOOL ok = ReadProcessMemory(impl_->process.get(), reinterpret_cast<LPCVOID>(address), out,
                                      size, &bytesRead);
    return ok != FALSE && bytesRead == size;
}

}  // namespace corvane
