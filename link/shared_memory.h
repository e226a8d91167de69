#pragma once
// A named shared-memory object and a view of its first `size` bytes: a file
// mapping on Windows, a POSIX shared-memory object elsewhere.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace corvane {

class SharedMemory {
public:
    enum class Status {
        Ok,
        NotFound,     // openExisting only: no object of that name
        OpenFailed,   // the object could not be opened (or created)
        MapFailed,    // opened, but no view of `size` bytes could be mapped
        NotOwned,     // POSIX: the object belongs to another user and was left alone
        InUse,        // Exclusive: another writer holds the object
    };
    enum class Access {
        Shared,     // as the voice client opens it
        Exclusive,  // one writer at a time, however that writer ends
    };

    SharedMemory() noexcept;
    SharedMemory(SharedMemory&&) noexcept;
    SharedMemory& operator=(SharedMemory&&) noexcept;
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;
    ~SharedMemory();

    // Opens the object for writing or, if there is none, creates it with
    // `size` zero bytes. created() tells which happened. Only an object of the
    // user's own is used (POSIX), and its mode narrowed to the user alone;
    // Exclusive also takes the lock that keeps other writers off it: a flock
    // on the object (POSIX), a session mutex named after it (Windows). On
    // failure nothing is held, nothing has been written, and `errorCode` is
    // the Win32 code of the failed step, or for NotOwned the owner's user id.
    Status openOrCreate(const std::string& name, std::size_t size, std::uint32_t& errorCode,
                        Access access);

    // Opens an existing object for reading only; never creates one.
    Status openExisting(const std::string& name, std::size_t size, std::uint32_t& errorCode);

    void* data() const noexcept;
    bool created() const noexcept { return created_; }
    void reset() noexcept;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    bool created_ = false;
};

// Where the object can be found by the user: its path under /dev/shm (POSIX),
// its name (Windows).
std::string sharedMemoryLocation(const std::string& name);

// Removes a named object so that the next openOrCreate creates it afresh.
// Only POSIX objects can be removed (on Windows the object lives while any
// handle to it does); for tests and tools.
bool removeSharedMemory(const std::string& name) noexcept;

}  // namespace corvane
