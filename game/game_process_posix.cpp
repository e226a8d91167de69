#include "game/game_process.h"

#include "common/unique_fd.h"
#include "common/win32_error.h"

#include <dirent.h>
#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>

namespace corvane {

// The "process handle": a descriptor of /proc/<pid>/mem, which stays bound to
// the process it was opened for, so a reused pid is never read.
struct GameProcess::Impl {
    UniqueFd memory;
};

namespace {

struct DirCloser {
    void operator()(DIR* dir) const noexcept { closedir(dir); }
};

bool readSmallFile(const std::string& path, std::string& text) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return false;
    char buffer[256];
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got < 0) return false;
    text.assign(buffer, static_cast<std::size_t>(got));
    return true;
}

bool parsePid(const char* name, std::uint32_t& pid) {
    if (*name == '\0') return false;
    std::uint64_t value = 0;
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + static_cast<std::uint64_t>(*p - '0');
        if (value > std::numeric_limits<std::uint32_t>::max()) return false;
    }
    pid = static_cast<std::uint32_t>(value);
    return pid != 0;
}

// An exited process stays in /proc until its parent reaps it; Windows lists
// no such process, so neither do we.
bool hasExited(const std::string& dir) {
    std::string stat;
    if (!readSmallFile(dir + "/stat", stat)) return true;
    // "pid (comm) S ...": the state follows the last parenthesis.
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size()) return true;
    const char state = stat[close + 2];
    return state == 'Z' || state == 'X' || state == 'x';
}

// The first live process, in /proc order, whose command name matches.
std::uint32_t findProcess(DIR* proc, std::wstring_view exeName) {
    std::string comm;
    while (const dirent* entry = readdir(proc)) {
        std::uint32_t pid = 0;
        if (!parsePid(entry->d_name, pid)) continue;
        const std::string dir = "/proc/" + std::to_string(pid);
        if (!readSmallFile(dir + "/comm", comm)) continue;
        if (!comm.empty() && comm.back() == '\n') comm.pop_back();
        if (sameExecutableName(comm, exeName) && !hasExited(dir)) return pid;
    }
    return 0;
}

// The lowest start address of a mapping from a file whose base name matches.
bool findModuleBase(std::FILE* maps, std::wstring_view exeName, std::uint64_t& base) {
    bool found = false;
    char line[4096 + 256];
    while (std::fgets(line, sizeof line, maps) != nullptr) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n') text.pop_back();
        // start-end perms offset dev inode path
        const std::size_t pathStart = text.find('/');
        if (pathStart == std::string::npos) continue;
        const std::string_view path = std::string_view(text).substr(pathStart);
        const std::string_view baseName = path.substr(path.rfind('/') + 1);
        if (!sameExecutableName(baseName, exeName)) continue;
        char* end = nullptr;
        const unsigned long long start = std::strtoull(text.c_str(), &end, 16);
        if (end == text.c_str() || *end != '-') continue;
        if (!found || start < base) base = start;
        found = true;
    }
    return found;
}

std::uint32_t openProcessCode(int error) {
    // OpenProcess answers a process that is gone with ERROR_INVALID_PARAMETER.
    return (error == ENOENT || error == ESRCH) ? kErrorInvalidParameter : kErrorAccessDenied;
}

}  // namespace

GameProcess::GameProcess() noexcept = default;
GameProcess::GameProcess(GameProcess&&) noexcept = default;
GameProcess& GameProcess::operator=(GameProcess&&) noexcept = default;
GameProcess::~GameProcess() = default;

void GameProcess::close() noexcept {
    impl_.reset();
    id_ = 0;
    moduleBase_ = 0;
}

GameProcess::Status GameProcess::open(std::wstring_view exeName, std::uint32_t& errorCode) {
    close();
    std::uint32_t pid = 0;
    {
        std::unique_ptr<DIR, DirCloser> proc(opendir("/proc"));
        if (!proc) return Status::ProcessSnapshotFailed;
        pid = findProcess(proc.get(), exeName);
    }
    if (pid == 0) return Status::NotFound;

    const std::string dir = "/proc/" + std::to_string(pid);
    auto impl = std::make_unique<Impl>();
    impl->memory.reset(::open((dir + "/mem").c_str(), O_RDONLY | O_CLOEXEC));
    if (!impl->memory) {
        errorCode = openProcessCode(errno);
        return Status::OpenFailed;
    }

    std::uint64_t base = 0;
    {
        struct FileCloser {
            void operator()(std::FILE* file) const noexcept { std::fclose(file); }
        };
        std::unique_ptr<std::FILE, FileCloser> maps(std::fopen((dir + "/maps").c_str(), "re"));
        if (!maps) return Status::ModuleSnapshotFailed;
        if (!findModuleBase(maps.get(), exeName, base)) return Status::ModuleBaseUnknown;
    }

    impl_ = std::move(impl);
    id_ = pid;
    moduleBase_ = base;
    return Status::Ok;
}

bool GameProcess::read(std::uint64_t address, void* out, std::size_t size) const noexcept {
    if (!impl_) return false;
    if (address > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) - size) return false;
    const ssize_t got = ::pread(impl_->memory.get(), out, size, static_cast<off_t>(address));
    return got >= 0 && static_cast<std::size_t>(got) == size;
}

}  // namespace corvane
