#include "tests/support/link_probe.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane::testing {

// The native voice client's record, "/MumbleLink.<uid>", with 4-byte text units:
//   uiVersion 0, uiTick 4, fAvatarPosition 8, fAvatarFront 20, fAvatarTop 32,
//   name 44 (256 x 4), fCameraPosition 1068, fCameraFront 1080, fCameraTop 1092,
//   identity 1104 (256 x 4), context_len 2128, context 2132 (256),
//   description 2388 (2048 x 4); 10580 bytes.
const LinkLayout kLinkLayout{10580, 4, 44, 1068, 1104, 2128, 2132, 2388};

bool LinkProbe::open(std::string& error) {
    const std::string name = "/MumbleLink." + std::to_string(getuid());
    const int fd = shm_open(name.c_str(), O_RDONLY, 0);
    struct stat status {};
    void* view = MAP_FAILED;
    if (fd >= 0 && fstat(fd, &status) == 0 && status.st_size >= 10580) {
        view = mmap(nullptr, 10580, PROT_READ, MAP_SHARED, fd, 0);
    }
    if (fd >= 0) close(fd);
    error = name + (fd < 0 ? " does not exist." : " is smaller than the record.");
    if (view != MAP_FAILED) view_ = static_cast<const unsigned char*>(view);
    return view != MAP_FAILED;
}

LinkProbe::~LinkProbe() {
    if (view_ != nullptr) munmap(const_cast<unsigned char*>(view_), 10580);
}

}  // namespace corvane::testing
