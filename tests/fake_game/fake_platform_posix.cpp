#include "tests/fake_game/fake_platform.h"

#include <sys/prctl.h>

// The linker's name for the first byte of the executable's lowest mapping.
extern "C" char __executable_start[];

namespace corvane::fake {

std::uint64_t ownModuleBase() noexcept {
    return reinterpret_cast<std::uintptr_t>(&__executable_start[0]);
}

void allowMemoryReaders() noexcept {
    // Fails harmlessly (EINVAL) on kernels without Yama.
    prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY, 0, 0, 0);
}

void useBinaryStandardOutput() noexcept {}

const char* platformName() noexcept { return "posix"; }

}  // namespace corvane::fake
