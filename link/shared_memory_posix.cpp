#include "link/shared_memory.h"

#include "common/unique_fd.h"
#include "common/win32_error.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <cerrno>

namespace corvane {

struct SharedMemory::Impl {
    UniqueMapping view;
};

namespace {

// POSIX names carry a leading slash; Windows names do not.
std::string posixName(const std::string& name) { return "/" + name; }

// The Win32 code the same failure gives on Windows.
std::uint32_t win32CodeFor(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return kErrorAccessDenied;
    case ENOENT:
        return kErrorFileNotFound;
    case ENOMEM:
    case ENOSPC:
    case EMFILE:
    case ENFILE:
        return kErrorNotEnoughMemory;
    default:
        return kErrorInvalidParameter;
    }
}

// Maps `size` bytes of `fd`; an object smaller than that fails as a view
// beyond the end of a section does on Windows, with access denied.
SharedMemory::Status mapObject(int fd, std::size_t size, bool writable, UniqueMapping& view,
                               std::uint32_t& errorCode) {
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        errorCode = win32CodeFor(errno);
        return SharedMemory::Status::MapFailed;
    }
    if (info.st_size < 0 || static_cast<std::size_t>(info.st_size) < size) {
        errorCode = kErrorAccessDenied;
        return SharedMemory::Status::MapFailed;
    }
    const int protection = writable ? (PROT_READ | PROT_WRITE) : PROT_READ;
    void* address = mmap(nullptr, size, protection, MAP_SHARED, fd, 0);
    if (address == MAP_FAILED) {
        errorCode = win32CodeFor(errno);
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
                                                std::uint32_t& errorCode) {
    reset();
    const std::string path = posixName(name);
    bool created = false;
    UniqueFd fd(shm_open(path.c_str(), O_RDWR | O_CLOEXEC, 0600));
    if (!fd && errno == ENOENT) {
        fd.reset(shm_open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (fd) {
            created = true;
            // shm_open applies the umask; the object is ours alone either way.
            fchmod(fd.get(), 0600);
            if (ftruncate(fd.get(), static_cast<off_t>(size)) != 0) {
                errorCode = win32CodeFor(errno);
                shm_unlink(path.c_str());
                return Status::OpenFailed;
            }
        } else if (errno == EEXIST) {
            // Another writer created it between our two calls.
            fd.reset(shm_open(path.c_str(), O_RDWR | O_CLOEXEC, 0600));
        }
    }
    if (!fd) {
        errorCode = win32CodeFor(errno);
        return Status::OpenFailed;
    }

    auto impl = std::make_unique<Impl>();
    const Status status = mapObject(fd.get(), size, true, impl->view, errorCode);
    if (status != Status::Ok) {
        if (created) shm_unlink(path.c_str());
        return status;
    }
    impl_ = std::move(impl);
    created_ = created;
    return Status::Ok;
}

SharedMemory::Status SharedMemory::openExisting(const std::string& name, std::size_t size,
                                                std::uint32_t& errorCode) {
    reset();
    UniqueFd fd(shm_open(posixName(name).c_str(), O_RDONLY | O_CLOEXEC, 0));
    if (!fd) {
        errorCode = win32CodeFor(errno);
        return errno == ENOENT ? Status::NotFound : Status::OpenFailed;
    }
    auto impl = std::make_unique<Impl>();
    const Status status = mapObject(fd.get(), size, false, impl->view, errorCode);
    if (status == Status::Ok) impl_ = std::move(impl);
    return status;
}

bool removeSharedMemory(const std::string& name) noexcept {
    return shm_unlink(posixName(name).c_str()) == 0 || errno == ENOENT;
}

}  // namespace corvane
