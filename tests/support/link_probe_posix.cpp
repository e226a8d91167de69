#include "tests/support/link_probe.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace corvane::testing {

// The native voice client's record: 4-byte text units.
//   uiVersion 0, uiTick 4, fAvatarPosition 8, fAvatarFront 20, fAvatarTop 32,
//   name 44 (256 x 4), fCameraPosition 1068, fCameraFront 1080, fCameraTop 1092,
//   identity 1104 (256 x 4), context_len 2128, context 2132 (256),
//   description 2388 (2048 x 4); 10580 bytes.
const LinkLayout kLinkLayout{10580, 4, 44, 1068, 1104, 2128, 2132, 2388};

namespace {
std::string linkName() { return "/MumbleLink." + std::to_string(getuid()); }
}  // namespace

bool LinkProbe::map(bool create, std::size_t size, std::string& error) {
    const int fd = shm_open(linkName().c_str(), create ? O_RDWR | O_CREAT | O_EXCL : O_RDONLY, 0600);
    struct stat status {};
    void* view = MAP_FAILED;
    if (fd >= 0 && (!create || ftruncate(fd, static_cast<off_t>(size)) == 0) &&
        fstat(fd, &status) == 0 && static_cast<std::size_t>(status.st_size) >= size) {
        view = mmap(nullptr, size, create ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, fd, 0);
    }
    error = linkName() + ": " + std::strerror(errno) + ".";
    if (fd >= 0) close(fd);
    if (view == MAP_FAILED) return false;
    view_ = static_cast<unsigned char*>(view);
    size_ = size;
    return true;
}

LinkProbe::~LinkProbe() {
    if (view_ != nullptr) munmap(view_, size_);
}

}  // namespace corvane::testing
