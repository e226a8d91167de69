#pragma once
// A named shared-memory object: a file mapping on Windows, a POSIX
// shared-memory object elsewhere. Windows keeps a view of it; POSIX reads and
// writes through the descriptor, so an object that another program cuts short
// can never fault this process (SIGBUS).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

class SharedMemory {
public:
    enum class Status {
        Ok,
        NotFound,         // openExisting only: no object of that name
        OpenFailed,       // the object could not be opened (or created)
        MapFailed,        // Windows: opened, but no view of `size` bytes could be mapped
        NotOwned,         // POSIX: the object belongs to another user and was left alone
        NotSharedMemory,  // POSIX: something of the user's at the name is no shared-memory object
        InUse,            // Exclusive: another writer holds the object
        NoSpace,          // POSIX: no memory left where the object lives for its `size` bytes
        TooSmall,         // POSIX: the user's own object holds some bytes, but fewer than `size`
    };
    enum class Access {
        Shared,     // as the voice client opens it
        Exclusive,  // one writer at a time, however that writer ends
    };
    // What a NotSharedMemory refusal found at the name (its errorCode).
    enum class Kind : std::uint32_t { Directory = 1, Fifo, SymbolicLink, Socket, Device };
    enum class Written {
        Ok,
        MadeWhole,  // POSIX: the object had been cut short; it was grown and reserved first
        NoSpace,    // as for open
        Failed,
    };
    enum class Name {
        Same,          // the name still leads to this object
        Replaced,      // another object stands at the name now
        Removed,       // nothing does
        OpenToOthers,  // POSIX: it does, but its mode now lets other users open it
    };
    // Why openOrCreate made the object anew (POSIX): the one at the name could
    // be read by other users.
    enum class TakeOver {
        None,
        OpenToOthers,         // its mode let them open it (whoever did keeps it open)
        LockedByAnotherUser,  // one of them holds its lock, so had it open
    };
    // Which object this is, for asking who else holds it (ReaderScan); equal
    // for the same object opened the same way.
    struct Identity {
        std::string name;
        std::uint64_t device = 0;  // POSIX: the object's device and inode
        std::uint64_t inode = 0;
        std::intptr_t handle = 0;  // Windows: the mapping, while this SharedMemory holds it
        bool writer = false;       // opened by openOrCreate
        friend bool operator==(const Identity&, const Identity&) = default;
    };

    SharedMemory() noexcept;
    SharedMemory(SharedMemory&&) noexcept;
    SharedMemory& operator=(SharedMemory&&) noexcept;
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;
    ~SharedMemory();

    // Opens the object for writing or, if there is none, creates it with
    // `size` zero bytes. created() tells which happened. Only an object of the
    // user's own is used (POSIX); one whose mode lets others open it, or that
    // another user locks, is left to them and made anew for the user alone
    // (takenOver(), and the old one kept for takeFormer()). Its `size` bytes of
    // memory are reserved at once (POSIX; Windows commits them when it creates
    // the mapping). Exclusive also takes the lock that keeps other writers off
    // it: a flock on the object (POSIX), a session mutex named after it
    // (Windows). On failure nothing is held, nothing has been written, and
    // `errorCode` is the Win32 code of the failed step, for NotOwned the
    // owner's user id, for NotSharedMemory a Kind, for TooSmall the bytes held.
    Status openOrCreate(const std::string& name, std::size_t size, std::uint32_t& errorCode,
                        Access access);

    // Opens an existing object for reading only; never creates one, and never
    // waits on what stands at the name (a FIFO, say). Refuses as openOrCreate
    // does what is not the user's own shared memory.
    Status openExisting(const std::string& name, std::size_t size, std::uint32_t& errorCode);

    // Stores `size` bytes (a multiple of 4, at least 8) at the start of the
    // object, the first 8 (the record's version and tick) after the rest, so
    // that a new tick is never seen before the frame it marks. Windows: plain
    // 32-bit stores into the view.
    Written write(const void* source, std::size_t size, std::uint32_t& errorCode) noexcept;
    // Copies up to `size` bytes (at most the size it was opened with) from the
    // start of the object; returns how many it holds (fewer when it was cut
    // short, 0 when nothing is open).
    std::size_t read(void* target, std::size_t size) const noexcept;
    // Whether the name still leads to this object (always on Windows, where a
    // named object lives while a handle to it does).
    Name checkName() const noexcept;
    Identity identity() const;

    // What the object is now, for a look at it: its owner (a user id), mode
    // and size (POSIX); nothing on Windows, where the view is all there is.
    struct Details {
        std::uint32_t owner = 0;
        std::uint32_t mode = 0;  // the permission bits
        std::uint64_t size = 0;
    };
    std::optional<Details> details() const noexcept;
    // The processes that hold the writers' lock on the object, which only a
    // bridge takes: POSIX names them (0 for one outside this PID namespace);
    // Windows only tells that a bridge holds it, as one holder of pid 0.
    std::vector<std::uint32_t> lockHolders() const;

    bool isOpen() const noexcept { return impl_ != nullptr; }
    bool created() const noexcept { return created_; }
    TakeOver takenOver() const noexcept { return takenOver_; }
    // After a take-over: the old object, still open for writing, so that
    // whoever holds it can be left a last frame; empty otherwise.
    SharedMemory takeFormer() noexcept;
    // Lets go of the lock that keeps other writers off, and keeps the object.
    void unlock() noexcept;
    void reset() noexcept;

private:
    Status openOrCreateOnce(const std::string& name, std::size_t size, std::uint32_t& errorCode,
                            Access access, bool mayTakeOver);

    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::unique_ptr<Impl> former_;
    bool created_ = false;
    TakeOver takenOver_ = TakeOver::None;
};

// Where the object can be found by the user: its path under /dev/shm (POSIX),
// its name (Windows).
std::string sharedMemoryLocation(const std::string& name);

// "a directory", "a FIFO"...: a NotSharedMemory refusal's Kind, for messages.
inline const char* kindText(std::uint32_t kind) noexcept {
    switch (static_cast<SharedMemory::Kind>(kind)) {
    case SharedMemory::Kind::Directory:
        return "a directory";
    case SharedMemory::Kind::Fifo:
        return "a FIFO";
    case SharedMemory::Kind::SymbolicLink:
        return "a symbolic link";
    case SharedMemory::Kind::Socket:
        return "a socket";
    case SharedMemory::Kind::Device:
        break;
    }
    return "a device";
}

// The processes that /proc/locks (its text `locks`) names as holding a flock
// on the object `inode` of the device `major`:`minor`; 0 for a holder whose pid
// cannot be told. POSIX only.
std::vector<std::uint32_t> flockHolders(std::string_view locks, std::uint32_t major,
                                        std::uint32_t minor, std::uint64_t inode);

// Removes a named object so that the next openOrCreate creates it afresh.
// Only POSIX objects can be removed (on Windows the object lives while any
// handle to it does); for tests and tools.
bool removeSharedMemory(const std::string& name) noexcept;

}  // namespace corvane
