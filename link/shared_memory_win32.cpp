#include "link/shared_memory.h"

#include "common/windows_support.h"
#include "link/instance_lock.h"

namespace corvane {

struct SharedMemory::Impl {
    // Declared in this order so the view is unmapped before the handle is
    // closed, and both before the lock that keeps other writers off them.
    InstanceLock lock;
    UniqueNullHandle mapping;
    UniqueMappedView view;
};

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
    auto impl = std::make_unique<Impl>();
    if (access == Access::Exclusive &&
        impl->lock.acquire(name) == InstanceLock::Status::HeldByAnother) {
        return Status::InUse;
    }
    bool created = false;
    impl->mapping.reset(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name.c_str()));
    if (!impl->mapping) {
        impl->mapping.reset(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                               static_cast<DWORD>(size), name.c_str()));
        if (!impl->mapping) {
            errorCode = GetLastError();
            return Status::OpenFailed;
        }
        created = GetLastError() != ERROR_ALREADY_EXISTS;
    }
    impl->view.reset(MapViewOfFile(impl->mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, size));
    if (!impl->view) {
        errorCode = GetLastError();
        return Status::MapFailed;
    }
    impl_ = std::move(impl);
    created_ = created;
    return Status::Ok;
}

SharedMemory::Status SharedMemory::openExisting(const std::string& name, std::size_t size,
                                                std::uint32_t& errorCode) {
    reset();
    auto impl = std::make_unique<Impl>();
    impl->mapping.reset(OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str()));
    if (!impl->mapping) {
        errorCode = GetLastError();
        return errorCode == ERROR_FILE_NOT_FOUND ? Status::NotFound : Status::OpenFailed;
    }
    impl->view.reset(MapViewOfFile(impl->mapping.get(), FILE_MAP_READ, 0, 0, size));
    if (!impl->view) {
        errorCode = GetLastError();
        return Status::MapFailed;
    }
    impl_ = std::move(impl);
    return Status::Ok;
}

std::string sharedMemoryLocation(const std::string& name) { return name; }

bool removeSharedMemory(const std::string&) noexcept { return true; }

}  // namespace corvane
