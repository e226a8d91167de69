#pragma once
// Windows: one writer per link, a lock that the operating system drops by
// itself when its holder ends, however it ends, so a killed bridge never
// blocks the next. Only writers take it; the voice client never sees it.
// (POSIX writers lock the link object itself.)

#include <cstdint>
#include <string>

namespace corvane {

class InstanceLock {
public:
    enum class Status {
        Acquired,
        HeldByAnother,  // another bridge is publishing to this user's link
        Unavailable,    // the lock could not be made; the caller runs without it
    };

    InstanceLock() noexcept = default;
    InstanceLock(InstanceLock&& other) noexcept;
    InstanceLock& operator=(InstanceLock&& other) noexcept;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    ~InstanceLock();

    // Takes the lock of the link named `linkName`, without waiting.
    Status acquire(const std::string& linkName);
    void release() noexcept;
    // Whether a bridge holds the lock of the link `linkName`: asked without
    // making or taking it.
    static bool heldByABridge(const std::string& linkName);

private:
    static constexpr std::intptr_t kNone = -1;
    // The mutex handle while it is ours.
    std::intptr_t held_ = kNone;
};

}  // namespace corvane
