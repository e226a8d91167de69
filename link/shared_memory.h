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
    };

    SharedMemory() noexcept;
    SharedMemory(SharedMemory&&) noexcept;
    SharedMemory& operator=(SharedMemory&&) noexcept;
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;
    ~SharedMemory();

    // Opens the object for writing or, if there is none, creates it with
    // `size` zero bytes. created() tells which happened. On failure nothing is
    // held and `errorCode` is the Win32 code of the failed step.
    Status openOrCreate(const std::string& name, std::size_t size, std::uint32_t& errorCode);

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

// Removes a named object so that the next openOrCreate creates it afresh.
// Only POSIX objects can be removed (on Windows the object lives while any
// handle to it does); for tests and tools.
bool removeSharedMemory(const std::string& name) noexcept;

}  // namespace corvane
