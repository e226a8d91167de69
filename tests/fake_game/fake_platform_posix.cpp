#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

// The linker's name for the first byte of the executable's lowest mapping.
extern "C" char __executable_start[];

namespace corvane::fake {

std::uint64_t ownModuleBase() noexcept { return reinterpret_cast<std::uintptr_t>(__executable_start); }

// Any process may read us, whatever Yama's ptrace scope (EINVAL without Yama).
void prepareProcess() noexcept { prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY, 0, 0, 0); }

void* objectArea(std::size_t) noexcept { return nullptr; }

// Unmapped, not merely protected: /proc/<pid>/mem reads protected pages too.
bool makeUnreadable(std::uint64_t address) noexcept {
    const auto page = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    return munmap(reinterpret_cast<void*>(static_cast<std::uintptr_t>(address & ~(page - 1))), page) == 0;
}

}  // namespace corvane::fake
