#include "game/game_process.h"
#include "game/module_base_win32.h"

#include "common/token_win32.h"
#include "common/windows_support.h"

#include <tlhelp32.h>
#ifndef PSAPI_VERSION
#define PSAPI_VERSION 2  // the module list from kernel32 (K32EnumProcessModulesEx)
#endif
#include <psapi.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

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

namespace {

// Whether the process `pid` is the player's: in our session, and as our user
// where its token may be read (an elevated game's may not: it stays a candidate).
class Players {
public:
    Players() : user_(tokenUser(GetCurrentProcess())) {
        if (!ProcessIdToSessionId(GetCurrentProcessId(), &session_)) session_ = kUnknown;
    }
    bool own(DWORD pid) {
        DWORD session = 0;
        if (session_ != kUnknown && ProcessIdToSessionId(pid, &session) && session != session_) return false;
        const UniqueNullHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
        if (!process || user_.empty()) return true;
        const std::vector<unsigned char> theirs = tokenUser(process.get());
        return theirs.empty() || EqualSid(userSid(theirs), userSid(user_));
    }

private:
    static constexpr DWORD kUnknown = 0xFFFFFFFF;
    std::vector<unsigned char> user_;
    DWORD session_ = kUnknown;
};

}  // namespace

bool GameProcess::list(std::wstring_view exeName, std::vector<std::uint32_t>& found,
                       std::vector<ProcessLink>* links, std::size_t* others) {
    found.clear();
    if (others != nullptr) *others = 0;
    if (links != nullptr) links->clear();
    const std::wstring wanted(exeName);
    UniqueSnapshotHandle processes(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!processes) return false;
    Players players;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(processes.get(), &entry); more;
         more = Process32NextW(processes.get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, wanted.c_str()) != 0) {
        } else if (players.own(entry.th32ProcessID)) {
            found.push_back(entry.th32ProcessID);
        } else if (others != nullptr) {
            ++*others;
        }
        if (links != nullptr) links->push_back({entry.th32ProcessID, entry.th32ParentProcessID});
    }
    return true;
}

GameProcess::Status GameProcess::open(std::uint32_t pid, std::wstring_view moduleName,
                                      std::uint32_t& errorCode) {
    close();
    return attachTo(pid, moduleName, errorCode);
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

bool moduleBaseBySnapshot(std::uint32_t pid, std::uint64_t& base, bool& snapshotTaken) noexcept {
    // The game is a 32-bit process and we are 64-bit: SNAPMODULE32 lists its modules.
    UniqueSnapshotHandle modules(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, pid));
    snapshotTaken = static_cast<bool>(modules);
    MODULEENTRY32W module{};
    module.dwSize = sizeof module;
    if (!modules || !Module32FirstW(modules.get(), &module)) return false;
    base = reinterpret_cast<std::uintptr_t>(module.modBaseAddr);
    return true;
}

bool moduleBaseByList(HANDLE process, std::wstring_view name, std::uint64_t& base) noexcept {
    HMODULE modules[1024];
    DWORD bytes = 0;
    if (!EnumProcessModulesEx(process, modules, sizeof modules, &bytes, LIST_MODULES_ALL)) return false;
    const DWORD count = std::min<DWORD>(bytes / sizeof(HMODULE), 1024);
    for (DWORD i = 0; i < count; ++i) {
        wchar_t moduleName[MAX_PATH] = {};
        const DWORD length = name.empty() ? 0 : GetModuleBaseNameW(process, modules[i], moduleName, MAX_PATH);
        if (name.empty() ? i == 0
                         : length == name.size() && _wcsnicmp(moduleName, name.data(), name.size()) == 0) {
            base = reinterpret_cast<std::uintptr_t>(modules[i]);
            return base != 0;
        }
    }
    return false;
}

GameProcess::Status GameProcess::attachTo(std::uint32_t pid, std::wstring_view moduleName,
                                          std::uint32_t& errorCode) {
    auto impl = std::make_unique<Impl>();
    // SYNCHRONIZE: its end is told by waiting on it, not by its exit code.
    impl->process.reset(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, pid));
    if (!impl->process) {
        errorCode = GetLastError();
        return Status::OpenFailed;
    }

    // Wine takes no module snapshot of a 32-bit process for a 64-bit one
    // (error 998), but lists its modules; the snapshot stays the first way.
    std::uint64_t base = 0;
    bool snapshotTaken = false;
    if (!moduleBaseBySnapshot(pid, base, snapshotTaken) &&
        !moduleBaseByList(impl->process.get(), moduleName, base)) {
        return snapshotTaken ? Status::ModuleBaseUnknown : Status::ModuleSnapshotFailed;
    }
    impl_ = std::move(impl);
    id_ = pid;
    moduleBase_ = base;
    return Status::Ok;
}

bool GameProcess::hasExited() const noexcept {
    if (!impl_) return false;
    // Not GetExitCodeProcess: a game may end with 259, which is STILL_ACTIVE.
    return WaitForSingleObject(impl_->process.get(), 0) == WAIT_OBJECT_0;
}

bool GameProcess::read(std::uint64_t address, void* out, std::size_t size) const noexcept {
    if (!impl_) return false;
    SIZE_T bytesRead = 0;
    const BOOL ok = ReadProcessMemory(impl_->process.get(), reinterpret_cast<LPCVOID>(address), out,
                                      size, &bytesRead);
    return ok != FALSE && bytesRead == size;
}

void setAsideGameReadRight() noexcept {}

}  // namespace corvane
