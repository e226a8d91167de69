#include "link/instance_lock.h"

#include "common/windows_support.h"

namespace corvane {
namespace {

HANDLE asHandle(std::intptr_t held) noexcept { return reinterpret_cast<HANDLE>(held); }

// Link names are ASCII; "MumbleLink" gives the name every version used.
std::wstring mutexName(const std::string& linkName) {
    std::wstring name = L"Local\\CorvaneVoiceBridge.";
    for (const char c : linkName) name += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return name;
}

}  // namespace

InstanceLock::InstanceLock(InstanceLock&& other) noexcept : held_(other.held_) {
    other.held_ = kNone;
}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
    if (this != &other) {
        release();
        held_ = other.held_;
        other.held_ = kNone;
    }
    return *this;
}

InstanceLock::~InstanceLock() { release(); }

void InstanceLock::release() noexcept {
    if (held_ != kNone) CloseHandle(asHandle(held_));
    held_ = kNone;
}

// A named mutex in the logon session's namespace, where the link itself is:
// it exists exactly while some bridge holds a handle to it, and Windows closes
// the handles of a process that ends, however it ends. Owning the mutex is not
// needed; that it already exists says enough.
InstanceLock::Status InstanceLock::acquire(const std::string& linkName) {
    release();
    HANDLE mutex = CreateMutexW(nullptr, FALSE, mutexName(linkName).c_str());
    if (mutex == nullptr) {
        // A bridge run elevated in this session holds one we may not open;
        // anything else (an object of that name that is no mutex) is no
        // reason to refuse to run.
        return GetLastError() == ERROR_ACCESS_DENIED ? Status::HeldByAnother : Status::Unavailable;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return Status::HeldByAnother;
    }
    held_ = reinterpret_cast<std::intptr_t>(mutex);
    return Status::Acquired;
}

bool InstanceLock::heldByABridge(const std::string& linkName) {
    const UniqueNullHandle mutex(OpenMutexW(SYNCHRONIZE, FALSE, mutexName(linkName).c_str()));
    // An elevated bridge's may not be opened, but it is there.
    return mutex || GetLastError() == ERROR_ACCESS_DENIED;
}

}  // namespace corvane
