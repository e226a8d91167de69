#include "tests/support/link_probe.h"

#include "common/windows_support.h"

namespace corvane::testing {

// The voice client's record, "MumbleLink", with UTF-16 text units:
//   uiVersion 0, uiTick 4, fAvatarPosition 8, fAvatarFront 20, fAvatarTop 32,
//   name 44 (256 x 2), fCameraPosition 556, fCameraFront 568, fCameraTop 580,
//   identity 592 (256 x 2), context_len 1104, context 1108 (256),
//   description 1364 (2048 x 2); 5460 bytes.
const LinkLayout kLinkLayout{5460, 2, 44, 556, 592, 1104, 1108, 1364};

bool LinkProbe::open(std::string& error) {
    handle_ = OpenFileMappingA(FILE_MAP_READ, FALSE, "MumbleLink");
    view_ = handle_ != nullptr ? static_cast<const unsigned char*>(
                                     MapViewOfFile(handle_, FILE_MAP_READ, 0, 0, 5460))
                               : nullptr;
    error = "MumbleLink cannot be read (Win32 error " + std::to_string(GetLastError()) + ").";
    return view_ != nullptr;
}

LinkProbe::~LinkProbe() {
    if (view_ != nullptr) UnmapViewOfFile(view_);
    if (handle_ != nullptr) CloseHandle(handle_);
}

}  // namespace corvane::testing
