#include "link/shared_memory.h"

#include "common/proc_files.h"
#include "common/unique_fd.h"
#include "common/win32_error.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sys/sysmacros.h>

#include <cerrno>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>

namespace corvane {

struct SharedMemory::Impl {
    UniqueFd object;  // an Exclusive open's flock lives as long as this descriptor
    std::string name;
    std::size_t size = 0;
    bool writer = false;
    dev_t device = 0;
    ino_t inode = 0;
};

namespace {

// POSIX names carry a leading slash; Windows names do not.
std::string posixName(const std::string& name) { return "/" + name; }

std::string devShmPath(const std::string& name) { return "/dev/shm/" + name; }

struct Refusal {
    SharedMemory::Status status;
    std::uint32_t code;
};

// Another user's object (or their symbolic link, or FIFO...) is theirs
// whatever it is; of the user's own, only a plain shared-memory object is used.
std::optional<Refusal> refusal(const struct stat& info) {
    using Kind = SharedMemory::Kind;
    if (info.st_uid != geteuid()) {
        return Refusal{SharedMemory::Status::NotOwned, static_cast<std::uint32_t>(info.st_uid)};
    }
    Kind kind = Kind::Device;
    switch (info.st_mode & S_IFMT) {
    case S_IFREG:
        return std::nullopt;
    case S_IFDIR:
        kind = Kind::Directory;
        break;
    case S_IFIFO:
        kind = Kind::Fifo;
        break;
    case S_IFLNK:
        kind = Kind::SymbolicLink;
        break;
    case S_IFSOCK:
        kind = Kind::Socket;
        break;
    }
    return Refusal{SharedMemory::Status::NotSharedMemory, static_cast<std::uint32_t>(kind)};
}

// Why the name could not be opened, found without following or opening what
// stands there; nothing when that is a shared-memory object of ours (or cannot
// be looked at), so the open's own error stands.
std::optional<Refusal> refusalAtName(const std::string& name) {
    const UniqueFd fd(open(devShmPath(name).c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!fd || fstat(fd.get(), &info) != 0) return std::nullopt;
    return refusal(info);
}

// flock: the kernel drops it with the object's last descriptor of ours, so
// also when the holder is killed; the voice client never takes it. Only
// another holder refuses us: a lock that cannot be taken at all is no reason
// not to run.
bool lockExclusively(int fd) {
    int result = 0;
    do {
        result = flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    return result == 0 || errno != EWOULDBLOCK;
}

// How much of /proc/locks is looked at: thousands of locks.
constexpr std::size_t kLocksLimit = 256 * 1024;

// The processes holding a flock on the object, as /proc/locks names them (0
// for one outside our PID namespace, whose owner cannot be told).
std::vector<std::uint32_t> holdersOf(const struct stat& info) {
    const std::string locks = readProcFile("/proc/locks", kLocksLimit).value_or(std::string());
    return flockHolders(locks, major(info.st_dev), minor(info.st_dev), info.st_ino);
}

// Whether a process of another user holds a flock on the object: one that
// opened it while it was open to others.
bool lockedByAnotherUser(const struct stat& info) {
    for (const std::uint32_t pid : holdersOf(info)) {
        const auto user = pid != 0 ? processRealUser(pid) : std::nullopt;
        if (user && *user != static_cast<std::uint32_t>(getuid())) return true;
    }
    return false;
}

// Removes the name only while it still leads to the object judged (`info`),
// so that what someone put there meanwhile is never removed in its stead.
void unlinkIfStill(const std::string& name, const struct stat& info) {
    struct stat atName {};
    if (lstat(devShmPath(name).c_str(), &atName) == 0 && atName.st_dev == info.st_dev &&
        atName.st_ino == info.st_ino) {
        shm_unlink(posixName(name).c_str());
    }
}

// Gives the object at least `size` bytes and the memory behind them now, so
// that no later store can find the memory missing: 0 or the errno value.
int reserve(int fd, std::size_t size) {
    int error = 0;
    do {
        error = posix_fallocate(fd, 0, static_cast<off_t>(size));
    } while (error == EINTR);
    return error;
}

bool writeAll(int fd, const unsigned char* bytes, std::size_t size, std::size_t offset) {
    while (size > 0) {
        const ssize_t done = pwrite(fd, bytes, size, static_cast<off_t>(offset));
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        bytes += done;
        offset += static_cast<std::size_t>(done);
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

SharedMemory::Status failure(int error, std::uint32_t& errorCode) {
    errorCode = win32CodeForErrno(error);
    return error == ENOSPC ? SharedMemory::Status::NoSpace : SharedMemory::Status::OpenFailed;
}

}  // namespace

SharedMemory::SharedMemory() noexcept = default;
SharedMemory::SharedMemory(SharedMemory&&) noexcept = default;
SharedMemory& SharedMemory::operator=(SharedMemory&&) noexcept = default;
SharedMemory::~SharedMemory() = default;

void SharedMemory::reset() noexcept {
    impl_.reset();
    former_.reset();
    created_ = false;
    takenOver_ = TakeOver::None;
}

SharedMemory SharedMemory::takeFormer() noexcept {
    SharedMemory former;
    former.impl_ = std::move(former_);
    return former;
}

void SharedMemory::unlock() noexcept {
    if (impl_) flock(impl_->object.get(), LOCK_UN);
}

std::vector<std::uint32_t> flockHolders(std::string_view locks, std::uint32_t major,
                                        std::uint32_t minor, std::uint64_t inode) {
    // "1: FLOCK  ADVISORY  WRITE 2251 00:1a:1027 0 EOF"; a waiter's line has "->".
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, " %02x:%02x:%llu ", major, minor,
                  static_cast<unsigned long long>(inode));
    std::vector<std::uint32_t> holders;
    while (!locks.empty()) {
        const std::string_view line = locks.substr(0, locks.find('\n'));
        locks.remove_prefix(std::min(locks.size(), line.size() + 1));
        const std::size_t at = line.find(wanted);
        if (line.find(" FLOCK ") == std::string_view::npos || line.find("->") != std::string_view::npos ||
            at == std::string_view::npos) {
            continue;
        }
        const std::size_t pidStart = line.rfind(' ', at - 1) + 1;
        std::uint32_t pid = 0;
        for (std::size_t i = pidStart; i < at && line[i] >= '0' && line[i] <= '9'; ++i) {
            pid = pid * 10 + static_cast<std::uint32_t>(line[i] - '0');
        }
        holders.push_back(pid);
    }
    return holders;
}

SharedMemory::Status SharedMemory::openOrCreate(const std::string& name, std::size_t size,
                                                std::uint32_t& errorCode, Access access) {
    return openOrCreateOnce(name, size, errorCode, access, true);
}

SharedMemory::Status SharedMemory::openOrCreateOnce(const std::string& name, std::size_t size,
                                                    std::uint32_t& errorCode, Access access,
                                                    bool mayTakeOver) {
    reset();
    const std::string path = posixName(name);
    bool created = false;
    // shm_open adds O_NOFOLLOW: another user's symbolic link is not followed.
    // O_NONBLOCK: a FIFO at the name is refused below rather than waited on.
    UniqueFd fd(shm_open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC, 0600));
    if (!fd && errno == ENOENT) {
        fd.reset(shm_open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (fd) {
            created = true;
        } else if (errno == EEXIST) {
            // Someone created it between our two calls: checked below like any other.
            fd.reset(shm_open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC, 0600));
        }
    }
    if (!fd) {
        const int error = errno;
        if (const auto refused = refusalAtName(name)) {
            errorCode = refused->code;
            return refused->status;
        }
        return failure(error, errorCode);
    }

    // Checked on the descriptor we hold, so the object cannot be swapped
    // between the check and its use; nothing is written before.
    struct stat info {};
    if (fstat(fd.get(), &info) != 0) return failure(errno, errorCode);
    if (const auto refused = refusal(info)) {
        errorCode = refused->code;
        return refused->status;
    }
    auto impl = std::make_unique<Impl>();
    impl->name = name;
    impl->size = size;
    impl->writer = true;
    impl->device = info.st_dev;
    impl->inode = info.st_ino;
    // Another user could read every frame through an object open to them, or
    // that one of them locks (they opened it while it was open to them), and
    // narrowing its mode takes back no descriptor already open. Theirs it
    // stays, kept here for a last frame; the player's link is made anew, for
    // the player alone. A lock whose holder cannot be told (it has ended,
    // leaving the lock to whoever shares its descriptor) on an object open to
    // others is no bridge of the player's either: those never leave it so.
    TakeOver takeOver = mayTakeOver && (info.st_mode & 077) != 0 ? TakeOver::OpenToOthers : TakeOver::None;
    if (access == Access::Exclusive && !lockExclusively(fd.get())) {
        if (mayTakeOver && lockedByAnotherUser(info)) takeOver = TakeOver::LockedByAnotherUser;
        if (takeOver == TakeOver::None) return Status::InUse;
    }
    // Some bytes, but fewer than the record: made by a program with another
    // idea of the record, and left as it is. None: being made (the voice
    // client sizes it right after creating it), so it is sized here.
    if (info.st_size > 0 && static_cast<std::size_t>(info.st_size) < size) {
        errorCode = static_cast<std::uint32_t>(info.st_size);
        return Status::TooSmall;
    }
    if (takeOver != TakeOver::None) {
        unlinkIfStill(name, info);
        impl->object = std::move(fd);
        const Status status = openOrCreateOnce(name, size, errorCode, access, false);
        if (status == Status::Ok) {
            takenOver_ = takeOver;
            former_ = std::move(impl);
        }
        return status;
    }
    // Ours alone, also when another program of ours, or the umask, made it otherwise.
    if ((info.st_mode & 07777) != 0600) fchmod(fd.get(), 0600);
    if (const int error = reserve(fd.get(), size); error != 0) {
        if (created) unlinkIfStill(name, info);  // no empty object left for the voice client to fault on
        return failure(error, errorCode);
    }

    impl->object = std::move(fd);  // holds the lock while the object is used
    impl_ = std::move(impl);
    created_ = created;
    return Status::Ok;
}

SharedMemory::Status SharedMemory::openExisting(const std::string& name, std::size_t size,
                                                std::uint32_t& errorCode) {
    reset();
    UniqueFd fd(shm_open(posixName(name).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0));
    struct stat info {};
    if (!fd) {
        const int error = errno;
        errorCode = win32CodeForErrno(error);
        if (error == ENOENT) return Status::NotFound;
        const auto refused = refusalAtName(name);
        if (!refused) return Status::OpenFailed;
        errorCode = refused->code;
        return refused->status;
    }
    if (fstat(fd.get(), &info) != 0) return failure(errno, errorCode);
    if (const auto refused = refusal(info)) {
        errorCode = refused->code;
        return refused->status;
    }
    auto impl = std::make_unique<Impl>();
    impl->object = std::move(fd);
    impl->name = name;
    impl->size = size;
    impl->device = info.st_dev;
    impl->inode = info.st_ino;
    impl_ = std::move(impl);
    return Status::Ok;
}

SharedMemory::Written SharedMemory::write(const void* source, std::size_t size,
                                          std::uint32_t& errorCode) noexcept {
    if (!impl_ || size < 8) {
        errorCode = kErrorInvalidParameter;
        return Written::Failed;
    }
    const int fd = impl_->object.get();
    Written result = Written::Ok;
    struct stat info {};
    if (fstat(fd, &info) == 0 && info.st_size >= 0 && static_cast<std::size_t>(info.st_size) < size) {
        if (const int error = reserve(fd, size); error != 0) {
            errorCode = win32CodeForErrno(error);
            return error == ENOSPC ? Written::NoSpace : Written::Failed;
        }
        result = Written::MadeWhole;
    }
    // pwrite grows an object cut short after the check above instead of
    // faulting. The frame goes first and its version and tick last, in one
    // 8-byte write: whoever sees the new tick, however they read, finds the
    // frame it marks already whole.
    const auto* bytes = static_cast<const unsigned char*>(source);
    if (!writeAll(fd, bytes + 8, size - 8, 8) || !writeAll(fd, bytes, 8, 0)) {
        const int error = errno;
        errorCode = win32CodeForErrno(error);
        return error == ENOSPC ? Written::NoSpace : Written::Failed;
    }
    return result;
}

std::size_t SharedMemory::read(void* target, std::size_t size) const noexcept {
    if (!impl_) return 0;
    auto* bytes = static_cast<unsigned char*>(target);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = pread(impl_->object.get(), bytes + done, size - done, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

SharedMemory::Name SharedMemory::checkName() const noexcept {
    if (!impl_) return Name::Removed;
    struct stat ours {}, atName {};
    if (lstat(devShmPath(impl_->name).c_str(), &atName) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? Name::Removed : Name::Same;  // else: cannot tell
    }
    // A removed object of ours has no name left, whatever inode number the
    // one at the name has.
    const bool known = fstat(impl_->object.get(), &ours) == 0;
    if ((known && ours.st_nlink == 0) || atName.st_dev != impl_->device || atName.st_ino != impl_->inode) {
        return Name::Replaced;
    }
    return known && (ours.st_mode & 077) != 0 ? Name::OpenToOthers : Name::Same;
}

SharedMemory::Identity SharedMemory::identity() const {
    if (!impl_) return {};
    return {impl_->name, static_cast<std::uint64_t>(impl_->device),
            static_cast<std::uint64_t>(impl_->inode), 0, impl_->writer};
}

std::optional<SharedMemory::Details> SharedMemory::details() const noexcept {
    struct stat info {};
    if (!impl_ || fstat(impl_->object.get(), &info) != 0) return std::nullopt;
    return Details{static_cast<std::uint32_t>(info.st_uid), static_cast<std::uint32_t>(info.st_mode & 07777),
                   static_cast<std::uint64_t>(info.st_size)};
}

std::vector<std::uint32_t> SharedMemory::lockHolders() const {
    struct stat info {};
    if (!impl_ || fstat(impl_->object.get(), &info) != 0) return {};
    return holdersOf(info);
}

std::string sharedMemoryLocation(const std::string& name) { return devShmPath(name); }

bool removeSharedMemory(const std::string& name) noexcept {
    return shm_unlink(posixName(name).c_str()) == 0 || errno == ENOENT;
}

}  // namespace corvane
