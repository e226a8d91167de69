#include "game/game_process.h"

#include "common/proc_files.h"
#include "common/unique_fd.h"
#include "common/win32_error.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// The "process handle": a descriptor of /proc/<pid>/mem, which stays bound to
// the process it was opened for, so a reused pid is never read.
struct GameProcess::Impl {
    UniqueFd memory;
    // /proc/<pid>/stat, kept open: read through this descriptor it reports the
    // process it was opened for, and fails once that one is gone.
    UniqueFd stat;
};

namespace {

struct DirCloser {
    void operator()(DIR* dir) const noexcept { closedir(dir); }
};

// Enough of a process's stat for its state and parent.
constexpr std::size_t kStatStart = 256;

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

// "pid (comm) S ...": an exited process stays in /proc until its parent reaps
// it (Z); Windows lists no such process, so neither do we. One whose exit has
// begun (PF_EXITING in its flags, the ninth field) counts too: its memory goes
// before it is a zombie, and a read that fails meanwhile is its end, not an error.
bool statSaysExited(const char* stat, std::size_t size) {
    constexpr unsigned long kExiting = 0x4;  // PF_EXITING
    const std::string_view text(stat, size);
    const std::size_t close = text.rfind(')');
    if (close == std::string_view::npos || close + 2 >= text.size()) return true;
    const char state = text[close + 2];
    if (state == 'Z' || state == 'X' || state == 'x') return true;
    std::size_t at = close + 2;  // the third field
    for (int field = 3; field < 9 && at != std::string_view::npos; ++field) {
        at = text.find(' ', at);
        if (at != std::string_view::npos) ++at;
    }
    unsigned long flags = 0;
    if (at != std::string_view::npos) std::from_chars(text.data() + at, text.data() + text.size(), flags);
    return (flags & kExiting) != 0;
}

bool processExited(const std::string& dir) {
    const auto stat = readProcFile(dir + "/stat", kStatStart);
    return !stat || statSaysExited(stat->data(), stat->size());
}

std::string commandName(const std::string& dir) {
    std::string comm = readProcFile(dir + "/comm", 256).value_or(std::string());
    if (!comm.empty() && comm.back() == '\n') comm.pop_back();
    return comm;
}

// "pid (comm) S ppid ...": the parent's ID; 0 when the text has none.
std::uint32_t statParent(std::string_view stat) {
    const std::size_t close = stat.rfind(')');
    std::uint32_t parent = 0;
    for (std::size_t i = close == std::string_view::npos ? stat.size() : close + 4;
         i < stat.size() && stat[i] >= '0' && stat[i] <= '9'; ++i) {
        parent = parent * 10 + static_cast<std::uint32_t>(stat[i] - '0');
    }
    return parent;
}

// Whether the process `pid` is the player's; a bridge run as root reads
// every user's game.
bool playersOwn(std::uint32_t pid) { return getuid() == 0 || isPlayersProcess(pid); }

// Whether a mapped file is the module named `name`: the kernel keeps only the
// first 15 bytes of a command name, so such a name may be the start of it.
bool isModuleFile(std::string_view file, std::wstring_view name) {
    constexpr std::size_t kCommandNameMax = 15;
    if (name.size() == kCommandNameMax && file.size() > kCommandNameMax) {
        file = file.substr(0, kCommandNameMax);
    }
    return sameExecutableName(file, name);
}

// The lowest start address of a mapping from a file of the module's name.
bool findModuleBase(std::FILE* maps, std::wstring_view name, std::uint64_t& base) {
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
        if (!isModuleFile(baseName, name)) continue;
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
    return (error == ENOENT || error == ESRCH) ? kErrorInvalidParameter : win32CodeForErrno(error);
}

// The kernel.yama.ptrace_scope value when Yama is why reading the process in
// `pid` was refused with `error`: the process is ours, so the plain owner
// check passed. 0 when Yama is absent, off, or not the cause.
int yamaRefusal(std::uint32_t pid, int error) {
    if (error != EACCES && error != EPERM) return 0;
    if (!isPlayersProcess(pid)) return 0;
    const std::string scope = readProcFile("/proc/sys/kernel/yama/ptrace_scope", 16).value_or(std::string());
    if (scope.empty()) return 0;
    const int value = scope[0] - '0';
    return value >= 1 && value <= 3 ? value : 0;
}

// The effective capabilities of this thread, which the kernel checks on open.
// Two 32-bit words: CAP_SYS_PTRACE is bit 19 of the first.
bool capabilities(__user_cap_data_struct (&data)[2]) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(SYS_capget, &header, data) == 0;
}
bool setCapabilities(__user_cap_data_struct (&data)[2]) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(SYS_capset, &header, data) == 0;
}
constexpr std::uint32_t kPtraceBit = 1u << CAP_SYS_PTRACE;

// CAP_SYS_PTRACE in effect for one opening, when permitted (a file capability
// on the bridge) and `wanted`; set aside again after it.
class ReadRight {
public:
    explicit ReadRight(bool wanted) noexcept {
        if (!wanted || getuid() == 0 || !capabilities(data_) || (data_[0].permitted & kPtraceBit) == 0) return;
        data_[0].effective |= kPtraceBit;
        raised_ = setCapabilities(data_);
    }
    ~ReadRight() {
        if (!raised_) return;
        data_[0].effective &= ~kPtraceBit;
        setCapabilities(data_);
    }
    ReadRight(const ReadRight&) = delete;
    ReadRight& operator=(const ReadRight&) = delete;

private:
    __user_cap_data_struct data_[2] = {};
    bool raised_ = false;
};

}  // namespace

void setAsideGameReadRight() noexcept {
    // Root is root: it needs no capability to open anything.
    __user_cap_data_struct data[2] = {};
    if (getuid() == 0 || !capabilities(data) || (data[0].effective | data[1].effective) == 0) return;
    data[0].effective = data[1].effective = 0;  // still permitted, so ReadRight can raise one
    setCapabilities(data);
}

GameProcess::GameProcess() noexcept = default;
GameProcess::GameProcess(GameProcess&&) noexcept = default;
GameProcess& GameProcess::operator=(GameProcess&&) noexcept = default;
GameProcess::~GameProcess() = default;

void GameProcess::close() noexcept {
    impl_.reset();
    id_ = 0;
    moduleBase_ = 0;
}

bool GameProcess::list(std::wstring_view exeName, std::vector<std::uint32_t>& found,
                       std::vector<ProcessLink>* links, std::size_t* others) {
    found.clear();
    if (others != nullptr) *others = 0;
    if (links != nullptr) links->clear();
    std::unique_ptr<DIR, DirCloser> proc(opendir("/proc"));
    if (!proc) return false;
    while (const dirent* entry = readdir(proc.get())) {
        std::uint32_t pid = 0;
        if (!parsePid(entry->d_name, pid)) continue;
        const std::string dir = "/proc/" + std::to_string(pid);
        if (const auto stat = links != nullptr ? readProcFile(dir + "/stat", kStatStart) : std::nullopt) {
            links->push_back({pid, statParent(*stat)});
        }
        if (!sameExecutableName(commandName(dir), exeName) || processExited(dir)) continue;
        if (playersOwn(pid)) {
            found.push_back(pid);
        } else if (others != nullptr) {
            ++*others;
        }
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
    const std::string dir = "/proc/" + std::to_string(pid);
    if (pid == 0 || processExited(dir)) return Status::NotFound;
    // The main module is the file the command name comes from; its bytes are
    // the file name's own, whatever their encoding.
    std::wstring name;
    for (const char c : commandName(dir)) name.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return attachTo(pid, name, errorCode);
}

GameProcess::Status GameProcess::attachTo(std::uint32_t pid, std::wstring_view moduleName,
                                          std::uint32_t& errorCode) {
    yamaScope_ = 0;
    const std::string dir = "/proc/" + std::to_string(pid);
    auto impl = std::make_unique<Impl>();
    int error = 0;
    {
        const ReadRight right(playersOwn(pid));
        impl->memory.reset(::open((dir + "/mem").c_str(), O_RDONLY | O_CLOEXEC));
        error = errno;
    }
    if (!impl->memory) {
        errorCode = openProcessCode(error);
        yamaScope_ = yamaRefusal(pid, error);
        return Status::OpenFailed;
    }
    impl->stat.reset(::open((dir + "/stat").c_str(), O_RDONLY | O_CLOEXEC));
    if (!impl->stat) return Status::ModuleSnapshotFailed;

    std::uint64_t base = 0;
    {
        struct FileCloser {
            void operator()(std::FILE* file) const noexcept { std::fclose(file); }
        };
        std::unique_ptr<std::FILE, FileCloser> maps(std::fopen((dir + "/maps").c_str(), "re"));
        if (!maps) return Status::ModuleSnapshotFailed;
        if (!findModuleBase(maps.get(), moduleName, base)) return Status::ModuleBaseUnknown;
    }

    impl_ = std::move(impl);
    id_ = pid;
    moduleBase_ = base;
    return Status::Ok;
}

bool GameProcess::hasExited() const noexcept {
    if (!impl_) return false;
    char stat[512];
    const ssize_t got = ::pread(impl_->stat.get(), stat, sizeof stat, 0);
    return got <= 0 || statSaysExited(stat, static_cast<std::size_t>(got));
}

bool GameProcess::read(std::uint64_t address, void* out, std::size_t size) const noexcept {
    if (!impl_) return false;
    if (address > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) - size) return false;
    const ssize_t got = ::pread(impl_->memory.get(), out, size, static_cast<off_t>(address));
    return got >= 0 && static_cast<std::size_t>(got) == size;
}

}  // namespace corvane
