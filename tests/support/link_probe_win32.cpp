#include "tests/support/link_probe.h"

#include "common/windows_support.h"

namespace corvane::testing {

// The voice client's record on Windows: UTF-16 text units.
//   uiVersion 0, uiTick 4, fAvatarPosition 8, fAvatarFront 20, fAvatarTop 32,
//   name 44 (256 x 2), fCameraPosition 556, fCameraFront 568, fCameraTop 580,
//   identity 592 (256 x 2), context_len 1104, context 1108 (256),
//   description 1364 (2048 x 2); 5460 bytes.
const LinkLayout kLinkLayout{5460, 2, 44, 556, 592, 1104, 1108, 1364};

bool LinkProbe::map(bool create, std::size_t size, std::string& error) {
    const DWORD access = create ? FILE_MAP_ALL_ACCESS : FILE_MAP_READ;
    HANDLE mapping = create ? CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                 static_cast<DWORD>(size), "MumbleLink")
                            : OpenFileMappingA(access, FALSE, "MumbleLink");
    void* view = mapping != nullptr ? MapViewOfFile(mapping, access, 0, 0, size) : nullptr;
    error = "MumbleLink: Win32 error " + std::to_string(GetLastError()) + ".";
    if (view == nullptr) {
        if (mapping != nullptr) CloseHandle(mapping);
        return false;
    }
    view_ = static_cast<unsigned char*>(view);
    size_ = size;
    handle_ = mapping;
    return true;
}

LinkProbe::~LinkProbe() {
    if (view_ != nullptr) UnmapViewOfFile(view_);
    if (handle_ != nullptr) CloseHandle(handle_);
}

}  // namespace corvane::testing
