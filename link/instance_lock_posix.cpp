#include "link/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace corvane {

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
    if (held_ != kNone) ::close(static_cast<int>(held_));  // closing drops the flock
    held_ = kNone;
}

// An empty shared-memory object beside the user's link, locked with flock:
// the kernel drops the lock with the last descriptor, so also when the holder
// is killed. The object stays (removing it could let a second bridge lock a
// new one while the first still holds the old).
InstanceLock::Status InstanceLock::acquire() noexcept {
    release();
    char name[64];
    std::snprintf(name, sizeof name, "/CorvaneVoiceBridge.MumbleLink.%u",
                  static_cast<unsigned>(getuid()));
    const int fd = shm_open(name, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return Status::Unavailable;
    int result = 0;
    do {
        result = flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        return held ? Status::HeldByAnother : Status::Unavailable;
    }
    held_ = fd;
    return Status::Acquired;
}

}  // namespace corvane
