#include "link/shared_memory.h"
#include "link/shared_memory_win32.h"

#include "common/token_win32.h"
#include "common/windows_support.h"
#include "link/instance_lock.h"
#include "link/link_record.h"

#include <cstring>

#include <sddl.h>

#include <algorithm>
#include <vector>

namespace corvane {
namespace {

constexpr std::uint32_t kMediumIntegrity = 0x2000;  // SECURITY_MANDATORY_MEDIUM_RID

struct LocalFreeDeleter {
    void operator()(void* memory) const noexcept { LocalFree(memory); }
};
using UniqueLocalMemory = std::unique_ptr<void, LocalFreeDeleter>;

// creationSecurity for this process's token; nothing (the system's default)
// where the token cannot be read.
UniqueLocalMemory securityForCreation() {
    const UniqueNullHandle token = queryToken(GetCurrentProcess());
    const auto user = tokenInformation(token.get(), TokenUser);
    wchar_t* sid = nullptr;
    if (user.empty() || !ConvertSidToStringSidW(userSid(user), &sid)) return nullptr;
    const UniqueLocalMemory sidText(sid);
    std::uint32_t integrity = kMediumIntegrity;
    if (const auto label = tokenInformation(token.get(), TokenIntegrityLevel); !label.empty()) {
        const PSID level = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(label.data())->Label.Sid;
        integrity = *GetSidSubAuthority(level, *GetSidSubAuthorityCount(level) - 1u);
    }
    PSECURITY_DESCRIPTOR security = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(creationSecurity(sid, integrity).c_str(),
                                                              SDDL_REVISION_1, &security, nullptr)) {
        return nullptr;
    }
    return UniqueLocalMemory(security);
}

}  // namespace

std::wstring creationSecurity(std::wstring_view userSid, std::uint32_t integrityRid) {
    // All access, as the user's own objects give by default: a voice client
    // may ask for it, as the bridge does. No-write-up, as the system's labels.
    return L"D:P(A;;GA;;;" + std::wstring(userSid) + L")S:(ML;;NW;;;S-1-16-" +
           std::to_wstring(std::min(integrityRid, kMediumIntegrity)) + L")";
}

struct SharedMemory::Impl {
    // Declared in this order so the view is unmapped before the handle is
    // closed, and both before the lock that keeps other writers off them.
    InstanceLock lock;
    UniqueNullHandle mapping;
    UniqueMappedView view;
    std::string name;
    bool writer = false;
};

SharedMemory::SharedMemory() noexcept = default;
SharedMemory::SharedMemory(SharedMemory&&) noexcept = default;
SharedMemory& SharedMemory::operator=(SharedMemory&&) noexcept = default;
SharedMemory::~SharedMemory() = default;

void SharedMemory::reset() noexcept {
    impl_.reset();
    created_ = false;
}

// A named object lives while a handle to it does: none is ever made anew.
SharedMemory SharedMemory::takeFormer() noexcept { return SharedMemory(); }

void SharedMemory::unlock() noexcept {
    if (impl_) impl_->lock.release();
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
        // Only what we create gets a descriptor of ours; a descriptor the
        // system refuses is no reason to go without the link.
        const UniqueLocalMemory security = securityForCreation();
        SECURITY_ATTRIBUTES attributes{sizeof attributes, security.get(), FALSE};
        const auto create = [&](SECURITY_ATTRIBUTES* with) {
            return CreateFileMappingA(INVALID_HANDLE_VALUE, with, PAGE_READWRITE, 0,
                                      static_cast<DWORD>(size), name.c_str());
        };
        if (security) impl->mapping.reset(create(&attributes));
        if (!impl->mapping) impl->mapping.reset(create(nullptr));
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
    impl->name = name;
    impl->writer = true;
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
    // The view keeps the section alive; a handle kept would count as one more
    // reader to the writer, which cannot tell a monitor from a voice client.
    impl->mapping.reset();
    impl->name = name;
    impl_ = std::move(impl);
    return Status::Ok;
}

SharedMemory::Written SharedMemory::write(const void* source, std::size_t size,
                                          std::uint32_t& errorCode) noexcept {
    if (!impl_ || size < 8) {
        errorCode = ERROR_INVALID_PARAMETER;
        return Written::Failed;
    }
    storeFrameThenTick(source, size / 4, impl_->view.get());
    return Written::Ok;
}

// A section never shrinks: the view always holds what was mapped.
std::size_t SharedMemory::read(void* target, std::size_t size) const noexcept {
    if (!impl_) return 0;
    // volatile: each call really reads the shared memory again, word by word.
    const auto* source = static_cast<const volatile std::uint32_t*>(impl_->view.get());
    auto* bytes = static_cast<unsigned char*>(target);
    for (std::size_t i = 0; i < size / 4; ++i) {
        const std::uint32_t word = source[i];
        std::memcpy(bytes + 4 * i, &word, 4);
    }
    return size / 4 * 4;
}

SharedMemory::Name SharedMemory::checkName() const noexcept { return impl_ ? Name::Same : Name::Removed; }

SharedMemory::Identity SharedMemory::identity() const {
    if (!impl_) return {};
    return {impl_->name, 0, 0, reinterpret_cast<std::intptr_t>(impl_->mapping.get()), impl_->writer};
}

std::optional<SharedMemory::Details> SharedMemory::details() const noexcept { return std::nullopt; }

std::vector<std::uint32_t> SharedMemory::lockHolders() const {
    if (!impl_) return {};
    return InstanceLock::heldByABridge(impl_->name) ? std::vector<std::uint32_t>{0} : std::vector<std::uint32_t>{};
}

std::string sharedMemoryLocation(const std::string& name) { return name; }

bool removeSharedMemory(const std::string&) noexcept { return true; }

}  // namespace corvane
