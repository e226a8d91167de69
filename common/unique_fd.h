#pragma once
// File descriptor owner for the POSIX platform files. Only *_posix.cpp files
// include this header.

#include <unistd.h>

#include <sys/mman.h>

#include <cstddef>

namespace corvane {

class UniqueFd {
public:
    UniqueFd() noexcept = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const noexcept { return fd_; }
    explicit operator bool() const noexcept { return fd_ >= 0; }

    void reset(int fd = -1) noexcept {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    int release() noexcept {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_ = -1;
};

// A mapped region and its length, unmapped on destruction.
class UniqueMapping {
public:
    UniqueMapping() noexcept = default;
    UniqueMapping(void* address, std::size_t length) noexcept : address_(address), length_(length) {}
    UniqueMapping(UniqueMapping&& other) noexcept : address_(other.address_), length_(other.length_) {
        other.address_ = nullptr;
        other.length_ = 0;
    }
    UniqueMapping& operator=(UniqueMapping&& other) noexcept {
        if (this != &other) {
            reset();
            address_ = other.address_;
            length_ = other.length_;
            other.address_ = nullptr;
            other.length_ = 0;
        }
        return *this;
    }
    UniqueMapping(const UniqueMapping&) = delete;
    UniqueMapping& operator=(const UniqueMapping&) = delete;
    ~UniqueMapping() { reset(); }

    void* get() const noexcept { return address_; }
    void reset() noexcept {
        if (address_ != nullptr) ::munmap(address_, length_);
        address_ = nullptr;
        length_ = 0;
    }

private:
    void* address_ = nullptr;
    std::size_t length_ = 0;
};

}  // namespace corvane
