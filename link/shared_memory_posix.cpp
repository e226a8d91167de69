#include "link/shared_memory.h"

#include "common/unique_fd.h"
#include "common/win32_error.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

namespace corvane {

struct SharedMemory::Impl {
    UniqueFd object;  // an Exclusive open's flock lives as long as this descriptor
    UniqueMapping view;
};

namespace {

// POSIX names carry a leading slash; Windows names do not.
std::string posixName(const std::string& name) { return "/" + name; }

std::string devShmPath(const std::string& name) { return "/dev/shm/" + name; }

// The owner of an object we may not open (another user's, or their symbolic
// link), found without following or reading it; nothing when it is ours or
// cannot be looked at.
std::optional<std::uint32_t> foreignOwner(const std::string& name) {
    const UniqueFd fd(open(devShmPath(name).c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!fd || fstat(fd.get(), &info) != 0 || info.st_uid == geteuid()) return std::nullopt;
    return static_cast<std::uint32_t>(info.st_uid);
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

// Maps `size` bytes of `fd`; an object smaller than that fails as a view
// beyond the end of a section does on Windows, with access denied.
SharedMemory::Status mapObject(int fd, std::size_t size, bool writable, UniqueMapping& view,
                               std::uint32_t& errorCode) {
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        errorCode = win32CodeForErrno(errno);
        return SharedMemory::Status::MapFailed;
    }
    if (info.st_size < 0 || static_cast<std::size_t>(info.st_size) < size) {
        errorCode = kErrorAccessDenied;
        return SharedMemory::Status::MapFailed;
    }
    const int protection = writable ? (PROT_READ | PROT_WRITE) : PROT_READ;
    void* address = mmap(nullptr, size, protection, MAP_SHARED, fd, 0);
    if (address == MAP_FAILED) {
        errorCode = win32CodeForErrno(errno);
        return SharedMemory::Status::MapFailed;
    }
    view = UniqueMapping(address, size);
    return SharedMemory::Status::Ok;
}

}  // namespace

SharedMemory::SharedMemory() noexcept = default;
SharedMemory::SharedMemory(SharedMemory&&) noexcept = default;
SharedMemory& SharedMemory::operator=(SharedMemory&&) noexcept = default;
SharedMemory::~SharedMemory() = default;

void* SharedMemory::data() const noexcept { return impl_ ? impl_->view.get() : nullptr; }

void SharedMemory::reset() noexcept {
    impl_.reset();
    created_ = false;
}

SharedMemory::Status SharedMemory::openOrCreate(const std::string& name, std::size_t size,
                                                std::uint32_t& errorCode, Access access) {
    reset();
    const std::string path = posixName(name);
    bool created = false;
    // shm_open adds O_NOFOLLOW: another user's symbolic link is not followed.
    UniqueFd fd(shm_open(path.c_str(), O_RDWR | O_CLOEXEC, 0600));
    if (!fd && errno == ENOENT) {
        fd.reset(shm_open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (fd) {
            created = true;
            // Sized at once: a writer that finds it from now on finds a whole record.
            if (ftruncate(fd.get(), static_cast<off_t>(size)) != 0) {
                errorCode = win32CodeForErrno(errno);
                shm_unlink(path.c_str());
                return Status::OpenFailed;
            }
        } else if (errno == EEXIST) {
            // Someone created it between our two calls: checked below like any other.
            fd.reset(shm_open(path.c_str(), O_RDWR | O_CLOEXEC, 0600));
        }
    }
    if (!fd) {
        const int error = errno;
        if (const auto owner = foreignOwner(name)) {
            errorCode = *owner;
            return Status::NotOwned;
        }
        errorCode = win32CodeForErrno(error);
        return Status::OpenFailed;
    }

    // Checked on the descriptor we hold, so the object cannot be swapped
    // between the check and its use; nothing is written before.
    struct stat info {};
    if (fstat(fd.get(), &info) != 0) {
        errorCode = win32CodeForErrno(errno);
        return Status::OpenFailed;
    }
    if (info.st_uid != geteuid()) {
        errorCode = static_cast<std::uint32_t>(info.st_uid);
        return Status::NotOwned;
    }
    if (access == Access::Exclusive && !lockExclusively(fd.get())) return Status::InUse;
    // Ours alone, also when another program of ours, or the umask, made it otherwise.
    if ((info.st_mode & 07777) != 0600) fchmod(fd.get(), 0600);

    auto impl = std::make_unique<Impl>();
    const Status status = mapObject(fd.get(), size, true, impl->view, errorCode);
    if (status != Status::Ok) {
        if (created) shm_unlink(path.c_str());
        return status;
    }
    impl->object = std::move(fd);  // holds the lock while the view is used
    impl_ = std::move(impl);
    created_ = created;
    return Status::Ok;
}

SharedMemory::Status SharedMemory::openExisting(const std::string& name, std::size_t size,
                                                std::uint32_t& errorCode) {
    reset();
    UniqueFd fd(shm_open(posixName(name).c_str(), O_RDONLY | O_CLOEXEC, 0));
    if (!fd) {
        errorCode = win32CodeForErrno(errno);
        return errno == ENOENT ? Status::NotFound : Status::OpenFailed;
    }
    auto impl = std::make_unique<Impl>();
    const Status status = mapObject(fd.get(), size, false, impl->view, errorCode);
    if (status == Status::Ok) impl_ = std::move(impl);
    return status;
}

std::string sharedMemoryLocation(const std::string& name) { return devShmPath(name); }

bool removeSharedMemory(const std::string& name) noexcept {
    return shm_unlink(posixName(name).c_str()) == 0 || errno == ENOENT;
}

}  // namespace corvane
