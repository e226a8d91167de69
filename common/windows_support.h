#pragma once
// The one way <windows.h> enters this code base. Only *_win32.cpp files
// include this header.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <memory>

namespace corvane {

// Handle owner. The traits say which value means "no handle": OpenProcess and
// CreateFileMapping fail with NULL, CreateToolhelp32Snapshot with
// INVALID_HANDLE_VALUE.
template <typename Traits>
class UniqueHandle {
public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(HANDLE handle) noexcept : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    HANDLE get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != Traits::invalid(); }

    void reset(HANDLE handle = Traits::invalid()) noexcept {
        if (handle_ != Traits::invalid()) CloseHandle(handle_);
        handle_ = handle;
    }
    HANDLE release() noexcept {
        HANDLE handle = handle_;
        handle_ = Traits::invalid();
        return handle;
    }

private:
    HANDLE handle_ = Traits::invalid();
};

struct NullHandleTraits {
    static HANDLE invalid() noexcept { return nullptr; }
};
struct InvalidValueHandleTraits {
    static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
};

using UniqueNullHandle = UniqueHandle<NullHandleTraits>;
using UniqueSnapshotHandle = UniqueHandle<InvalidValueHandleTraits>;

struct UnmapViewDeleter {
    void operator()(void* view) const noexcept { UnmapViewOfFile(view); }
};
using UniqueMappedView = std::unique_ptr<void, UnmapViewDeleter>;

}  // namespace corvane
